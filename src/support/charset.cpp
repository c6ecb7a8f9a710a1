#include "support/charset.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

namespace lumirack {
namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// ICU's calls take 32-bit lengths; long texts go through in pieces of at most this many bytes.
constexpr std::size_t kChunk = std::size_t{1} << 20;

// A fresh converter per call: converters keep state and are not safe to share between threads,
// while opening one from ICU's cache is cheap. Fallbacks on give Windows' best-fit bytes.
Converter OpenConverter(const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  Converter cnv(ucnv_open(name, &status));
  if (U_FAILURE(status)) return nullptr;
  ucnv_setFallback(cnv.get(), true);
  status = U_ZERO_ERROR;
  ucnv_setSubstChars(cnv.get(), "?", 1, &status);
  return cnv;
}

// The input ends at its first NUL, as the platform's conversion reads through the terminator.
std::string_view UpToNul(const Text& text) {
  const void* nul = std::memchr(text.data(), 0, text.size());
  return nul == nullptr
             ? std::string_view(text)
             : std::string_view(text.data(), static_cast<const char*>(nul) - text.data());
}

bool IsAscii(char c) { return static_cast<unsigned char>(c) < 0x80; }

std::size_t AsciiRunEnd(std::string_view s, std::size_t i) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
  while (i + 8 <= s.size()) {
    std::uint64_t word;
    std::memcpy(&word, s.data() + i, 8);
    if ((word & kHighBits) != 0) break;
    i += 8;
  }
  while (i < s.size() && IsAscii(s[i])) ++i;
  return i;
}

std::size_t NonAsciiRunEnd(std::string_view s, std::size_t i) {
  while (i < s.size() && !IsAscii(s[i])) ++i;
  return i;
}

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Converts non-ASCII UTF-8 bytes to code page 936 and appends them. ASCII never takes part in a
// multi-byte sequence, so a run between ASCII bytes converts the same alone as in context; each
// malformed sequence becomes U+FFFD and so "?", as the Windows decoder and encoder do.
class NonAsciiEncoder {
 public:
  NonAsciiEncoder() : cnv_(OpenConverter("windows-936")) {}

  void Append(std::string_view run, Text& out) {
    while (!run.empty()) {
      std::size_t take = std::min(run.size(), kChunk);
      if (take < run.size()) {
        // Cut before a lead byte so no sequence is split; four continuation bytes in a row
        // cannot all belong to one sequence, so cutting after them splits nothing either.
        std::size_t cut = take;
        while (cut > take - 4 && IsUtf8Continuation(run[cut])) --cut;
        if (!IsUtf8Continuation(run[cut])) take = cut;
      }
      AppendPiece(run.substr(0, take), out);
      run.remove_prefix(take);
    }
  }

 private:
  void AppendPiece(std::string_view piece, Text& out) {
    units_.resize(piece.size() + 1);  // a byte never makes more than one UTF-16 unit
    int32_t unitCount = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(units_.data(), static_cast<int32_t>(units_.size()), &unitCount,
                         piece.data(), static_cast<int32_t>(piece.size()), 0xFFFD, nullptr,
                         &status);
    if (U_FAILURE(status) || !cnv_) return;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(unitCount) * 2 + 1);  // two bytes a unit suffice
    status = U_ZERO_ERROR;
    const int32_t length =
        ucnv_fromUChars(cnv_.get(), out.data() + at, static_cast<int32_t>(out.size() - at),
                        units_.data(), unitCount, &status);
    out.resize(U_FAILURE(status) ? at : at + static_cast<std::size_t>(length));
  }

  Converter cnv_;
  std::u16string units_;
};

// Streams `input` from one converter to the other through ICU's pivot buffer.
Text Convert(std::string_view input, const char* to, const char* from) {
  if (input.empty()) return {};
  Converter target = OpenConverter(to);
  Converter source = OpenConverter(from);
  if (!target || !source) return {};
  Text out;
  out.reserve(input.size() + input.size() / 2);
  UChar pivot[1024];
  UChar* pivotSource = pivot;
  UChar* pivotTarget = pivot;
  char buffer[8192];
  const char* in = input.data();
  const char* const inEnd = input.data() + input.size();
  bool reset = true;
  for (;;) {
    char* outPtr = buffer;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_convertEx(target.get(), source.get(), &outPtr, buffer + sizeof buffer, &in, inEnd, pivot,
                   &pivotSource, &pivotTarget, pivot + 1024, reset, true, &status);
    reset = false;
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
  }
  return out;
}

// A converted text ends at its first NUL, as a platform buffer would.
Text CutAtNul(Text text) {
  const std::size_t nul = text.find('\0');
  if (nul != Text::npos) text.resize(nul);
  return text;
}

}  // namespace

Text Utf8ToAnsi(const Text& text) {
  const std::string_view input = UpToNul(text);
  Text out;
  out.reserve(input.size());
  NonAsciiEncoder encoder;
  std::size_t i = 0;
  while (i < input.size()) {
    const std::size_t asciiEnd = AsciiRunEnd(input, i);
    out.append(input.data() + i, asciiEnd - i);
    i = NonAsciiRunEnd(input, asciiEnd);
    if (i > asciiEnd) encoder.Append(input.substr(asciiEnd, i - asciiEnd), out);
  }
  return out;
}

Text AnsiToUtf8(const Text& text) {
  return CutAtNul(Convert(UpToNul(text), "UTF-8", "windows-936"));
}

Text PercentEscape(const Text& text, bool (*escaped)(unsigned char)) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  Text out;
  out.reserve(text.size());
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (escaped(b)) {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

Text PercentEncode(const Text& text, bool keepSafe, bool asUtf8) {
  if (text.empty()) return {};
  const Text bytes = asUtf8 ? AnsiToUtf8(text) : text;
  if (!keepSafe) return PercentEscape(bytes, [](unsigned char) { return true; });
  return PercentEscape(bytes, [](unsigned char b) {
    const bool kept = (b >= 0x2D && b <= 0x39 && b != 0x2F) || (b >= 0x41 && b <= 0x5A) ||
                      (b >= 0x61 && b <= 0x7A);
    return !kept;
  });
}

Text Gbk(std::string_view utf8) { return Utf8ToAnsi(Text(utf8)); }

}  // namespace lumirack
