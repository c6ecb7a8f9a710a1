#include "sim/request_parser.h"

#include <cctype>
#include <charconv>

namespace lumirack::sim {
namespace {

constexpr std::string_view kCrLf = "\r\n";

bool IsTokenChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u <= 0x20 || u >= 0x7F) return false;
  return std::string_view("()<>@,;:\\\"/[]?={}").find(c) == std::string_view::npos;
}

std::string_view TrimOws(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return false;
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (EqualsNoCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

ParseResult Bad(std::string error) {
  ParseResult r;
  r.status = ParseStatus::kBad;
  r.error = std::move(error);
  return r;
}

// Walks the chunk framing from `pos`. Returns kNeedMore, kBad, kBodyTooLarge or kComplete with
// `end` just past the last chunk's trailers; the payload is appended to `body` only when complete.
ParseStatus WalkChunks(std::string_view bytes, std::size_t pos, std::size_t maxBody,
                       std::size_t& end, std::string& body) {
  std::vector<std::pair<std::size_t, std::size_t>> pieces;
  std::size_t total = 0;
  while (true) {
    const std::size_t lineEnd = bytes.find(kCrLf, pos);
    if (lineEnd == std::string_view::npos) {
      return bytes.size() - pos > 1024 ? ParseStatus::kBad : ParseStatus::kNeedMore;
    }
    std::string_view sizeText = bytes.substr(pos, lineEnd - pos);
    if (const auto semi = sizeText.find(';'); semi != std::string_view::npos) {
      sizeText = sizeText.substr(0, semi);
    }
    sizeText = TrimOws(sizeText);
    std::size_t size = 0;
    const auto [ptr, ec] =
        std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), size, 16);
    if (sizeText.empty() || ec != std::errc() || ptr != sizeText.data() + sizeText.size()) {
      return ParseStatus::kBad;
    }
    pos = lineEnd + 2;
    if (size == 0) break;
    total += size;
    if (total > maxBody) return ParseStatus::kBodyTooLarge;
    if (bytes.size() < pos + size + 2) return ParseStatus::kNeedMore;
    if (bytes.substr(pos + size, 2) != kCrLf) return ParseStatus::kBad;
    pieces.emplace_back(pos, size);
    pos += size + 2;
  }
  // Trailer lines, up to the empty line.
  while (true) {
    const std::size_t lineEnd = bytes.find(kCrLf, pos);
    if (lineEnd == std::string_view::npos) return ParseStatus::kNeedMore;
    const bool empty = lineEnd == pos;
    pos = lineEnd + 2;
    if (empty) break;
  }
  end = pos;
  body.reserve(total);
  for (const auto& [from, size] : pieces) body.append(bytes.substr(from, size));
  return ParseStatus::kComplete;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

const std::string* FindHeader(const std::vector<std::pair<std::string, std::string>>& headers,
                              std::string_view name) {
  for (const auto& [key, value] : headers) {
    if (EqualsNoCase(key, name)) return &value;
  }
  return nullptr;
}

ParseResult ParseRequest(std::string_view bytes, std::size_t maxHead, std::size_t maxBody) {
  // Empty lines before a request line are tolerated.
  std::size_t start = 0;
  while (bytes.substr(start, 2) == kCrLf) start += 2;

  const std::size_t headEnd = bytes.find("\r\n\r\n", start);
  if (headEnd == std::string_view::npos) {
    ParseResult r;
    if (bytes.size() - start > maxHead) r.status = ParseStatus::kHeadTooLarge;
    return r;
  }
  if (headEnd + 4 - start > maxHead) {
    ParseResult r;
    r.status = ParseStatus::kHeadTooLarge;
    return r;
  }

  ParseResult result;
  ParsedRequest& req = result.request;
  const std::string_view head = bytes.substr(start, headEnd - start);
  std::size_t lineEnd = head.find(kCrLf);
  const std::string_view requestLine = head.substr(0, lineEnd);
  const std::size_t sp1 = requestLine.find(' ');
  const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : requestLine.find(' ', sp1 + 1);
  if (sp1 == std::string_view::npos || sp2 == std::string_view::npos ||
      requestLine.find(' ', sp2 + 1) != std::string_view::npos) {
    return Bad("malformed request line");
  }
  req.method = requestLine.substr(0, sp1);
  req.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
  req.version = requestLine.substr(sp2 + 1);
  if (req.method.empty() || req.target.empty()) return Bad("malformed request line");
  for (char c : req.method) {
    if (!IsTokenChar(c)) return Bad("malformed method");
  }
  if (req.version != "HTTP/1.1" && req.version != "HTTP/1.0") return Bad("unsupported version");

  while (lineEnd != std::string_view::npos) {
    const std::size_t from = lineEnd + 2;
    lineEnd = head.find(kCrLf, from);
    const std::string_view line = head.substr(
        from, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - from);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return Bad("malformed header line");
    const std::string_view name = line.substr(0, colon);
    for (char c : name) {
      if (!IsTokenChar(c)) return Bad("malformed header name");
    }
    req.headers.emplace_back(std::string(name), std::string(TrimOws(line.substr(colon + 1))));
  }

  const std::size_t bodyStart = headEnd + 4;
  result.headComplete = true;
  if (const std::string* expect = FindHeader(req.headers, "Expect")) {
    req.expectContinue = EqualsNoCase(*expect, "100-continue");
  }

  std::size_t end = bodyStart;
  if (const std::string* te = FindHeader(req.headers, "Transfer-Encoding")) {
    if (!ContainsNoCase(*te, "chunked")) return Bad("unsupported transfer coding");
    const ParseStatus s = WalkChunks(bytes, bodyStart, maxBody, end, req.body);
    if (s == ParseStatus::kBad) return Bad("malformed chunk");
    if (s != ParseStatus::kComplete) {
      result.status = s;
      return result;
    }
  } else {
    std::size_t length = 0;
    bool seen = false;
    for (const auto& [key, value] : req.headers) {
      if (!EqualsNoCase(key, "Content-Length")) continue;
      std::size_t n = 0;
      const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
      if (value.empty() || ec != std::errc() || ptr != value.data() + value.size()) {
        return Bad("malformed Content-Length");
      }
      if (seen && n != length) return Bad("conflicting Content-Length");
      length = n;
      seen = true;
    }
    if (length > maxBody) {
      result.status = ParseStatus::kBodyTooLarge;
      return result;
    }
    if (bytes.size() - bodyStart < length) return result;  // kNeedMore, head complete
    req.body = bytes.substr(bodyStart, length);
    end = bodyStart + length;
  }

  req.raw = bytes.substr(start, end - start);
  result.consumed = end;
  result.status = ParseStatus::kComplete;
  return result;
}

}  // namespace lumirack::sim
