#include "support/text.h"

#include <algorithm>
#include <cstring>

#include "support/charset.h"
#include "support/texts.h"

namespace lumirack {
namespace {

constexpr char kSpace = ' ';
constexpr char kWideSpaceByte = '\xA1';

bool SameBytes(const char* a, const char* b, std::size_t n, bool ignoreCase) {
  if (!ignoreCase) return std::memcmp(a, b, n) == 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// Length of the space that starts at `i` (1 or 2 bytes), or 0.
std::size_t SpaceAt(std::string_view text, std::size_t i) {
  if (text[i] == kSpace) return 1;
  if (text[i] == kWideSpaceByte && i + 1 < text.size() && text[i + 1] == kWideSpaceByte) return 2;
  return 0;
}

// Width of the character that starts at `i`: 2 for a lead byte that has a second byte, else 1.
std::size_t CharWidth(std::string_view text, std::size_t i) {
  return (IsLeadByte(text[i]) && i + 1 < text.size()) ? 2 : 1;
}

}  // namespace

Text TextFromBytes(const Bytes& bytes) {
  auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  return Text(bytes.begin(), end);
}

Bytes BytesFromText(const Text& text) { return Bytes(text.begin(), text.end()); }

Text LowerAscii(const Text& text) {
  Text out = text;
  for (char& c : out) c = FoldAscii(c);
  return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && SameBytes(a.data(), b.data(), a.size(), true);
}

std::size_t FindTextOffset(std::string_view text, std::string_view sought, std::size_t from,
                           bool ignoreCase) {
  const std::size_t n = text.size();
  if (from >= n) return std::string_view::npos;
  if (sought.empty()) return from;
  const std::size_t m = sought.size();
  std::size_t i = from;
  if (!ignoreCase) {
    // Candidates come from memchr on the first byte; a candidate is valid only on a character
    // boundary, which the walk below keeps track of.
    const char first = sought[0];
    while (i + m <= n) {
      const void* hit = std::memchr(text.data() + i, first, n - m + 1 - i);
      if (hit == nullptr) return std::string_view::npos;
      const std::size_t h = static_cast<const char*>(hit) - text.data();
      // Walk from i to h over whole characters; if a character straddles h, h is a trail byte.
      while (i < h) {
        if (IsLeadByte(text[i])) {
          if (i + 1 >= n) return std::string_view::npos;
          i += 2;
        } else {
          ++i;
        }
      }
      if (i == h && std::memcmp(text.data() + h, sought.data(), m) == 0) return h;
      // Step past the character at i (i == h, or i == h + 1 after a straddle).
      if (i == h) {
        if (IsLeadByte(text[i])) {
          if (i + 1 >= n) return std::string_view::npos;
          i += 2;
        } else {
          ++i;
        }
      }
    }
    return std::string_view::npos;
  }
  while (i + m <= n) {
    if (SameBytes(text.data() + i, sought.data(), m, true)) return i;
    if (IsLeadByte(text[i])) {
      if (i + 1 >= n) return std::string_view::npos;
      i += 2;
    } else {
      ++i;
    }
  }
  return std::string_view::npos;
}

int FindText(const Text& text, const Text& sought, int start, bool ignoreCase) {
  const long long b = std::max(0LL, static_cast<long long>(start) - 1);
  if (sought.empty()) return b < static_cast<long long>(text.size()) ? 1 : -1;
  const std::size_t hit = FindTextOffset(text, sought, static_cast<std::size_t>(b), ignoreCase);
  return hit == std::string_view::npos ? -1 : static_cast<int>(hit + 1);
}

Text ReplaceAll(const Text& text, const Text& from, const Text& to, bool ignoreCase) {
  if (from.empty()) return text;
  Text out;
  std::size_t done = 0;
  for (;;) {
    const std::size_t hit = FindTextOffset(text, from, done, ignoreCase);
    if (hit == std::string_view::npos) break;
    out.append(text, done, hit - done);
    out += to;
    done = hit + from.size();
  }
  out.append(text, done, Text::npos);
  return out;
}

Text TextBetween(const Text& text, const Text& left, const Text& right, int start,
                 bool ignoreCase) {
  static const Text kQuotePlaceholder = Gbk(texts::kQuotePlaceholder);
  const Text l = ReplaceAll(left, kQuotePlaceholder, "\"");
  const Text r = ReplaceAll(right, kQuotePlaceholder, "\"");
  long long p = FindText(text, l, start, ignoreCase);
  if (p == -1) return {};
  p += static_cast<long long>(l.size());
  if (p > static_cast<long long>(text.size())) return {};
  const int q = FindText(text, r, static_cast<int>(p), ignoreCase);
  if (q == -1 || q - p <= 0) return {};
  return text.substr(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(q - p));
}

Text TrimLeadingSpaces(const Text& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t w = SpaceAt(text, i);
    if (w == 0) break;
    i += w;
  }
  return text.substr(i);
}

Text TrimTrailingSpaces(const Text& text) {
  // Trailing spaces are found walking forward, so a 0xA1 0xA1 that is the second half of one
  // character and the first half of the next is never taken for a space.
  std::size_t keep = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t w = SpaceAt(text, i);
    if (w != 0) {
      i += w;
    } else {
      i += CharWidth(text, i);
      keep = i;
    }
  }
  return text.substr(0, keep);
}

Text TrimSpaces(const Text& text) { return TrimTrailingSpaces(TrimLeadingSpaces(text)); }

Text RemoveSpaces(const Text& text) {
  Text out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t w = SpaceAt(text, i);
    if (w != 0) {
      i += w;
    } else if (IsLeadByte(text[i])) {
      if (i + 1 >= text.size()) break;  // a character cut in half
      out += text[i];
      out += text[i + 1];
      i += 2;
    } else {
      out += text[i++];
    }
  }
  return out;
}

TextList SplitText(const Text& text, const Text& separator) {
  TextList pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.push_back(text);
    return pieces;
  }
  std::size_t done = 0;
  while (done < text.size()) {
    const std::size_t hit = FindTextOffset(text, separator, done);
    if (hit == std::string_view::npos) {
      pieces.push_back(text.substr(done));
      return pieces;
    }
    pieces.push_back(text.substr(done, hit - done));
    done = hit + separator.size();
  }
  return pieces;
}

Text DecimalText(long long value) { return std::to_string(value); }

}  // namespace lumirack
