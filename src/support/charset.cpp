#include "support/charset.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <memory>
#include <mutex>
#include <vector>

namespace lumirack {
namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// A fresh converter per call: converters keep state and are not safe to share between threads,
// while opening one from ICU's cache is cheap.
Converter OpenGbk() {
  UErrorCode status = U_ZERO_ERROR;
  Converter cnv(ucnv_open("windows-936", &status));
  if (U_FAILURE(status)) return nullptr;
  ucnv_setFallback(cnv.get(), true);
  status = U_ZERO_ERROR;
  ucnv_setSubstChars(cnv.get(), "?", 1, &status);
  return cnv;
}

// UTF-8 to UTF-16; each malformed sequence becomes U+FFFD, as the Windows decoder does.
std::u16string DecodeUtf8(const Text& text) {
  if (text.empty()) return {};
  std::u16string out(text.size() + 1, u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
                       static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<std::size_t>(length));
  return out;
}

Text EncodeUtf8(const std::u16string& units) {
  if (units.empty()) return {};
  Text out(units.size() * 3 + 1, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, units.data(),
                     static_cast<int32_t>(units.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<std::size_t>(length));
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
  const std::u16string units = DecodeUtf8(text);
  if (units.empty()) return {};
  Converter cnv = OpenGbk();
  if (!cnv) return {};
  // Two bytes a unit always suffice for a double-byte page.
  Text out(units.size() * 2 + 2, '\0');
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = ucnv_fromUChars(cnv.get(), out.data(), static_cast<int32_t>(out.size()),
                                         units.data(), static_cast<int32_t>(units.size()), &status);
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<std::size_t>(length));
  return CutAtNul(std::move(out));
}

Text AnsiToUtf8(const Text& text) {
  if (text.empty()) return {};
  Converter cnv = OpenGbk();
  if (!cnv) return {};
  std::u16string units(text.size() + 1, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = ucnv_toUChars(cnv.get(), units.data(), static_cast<int32_t>(units.size()),
                                       text.data(), static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) return {};
  units.resize(static_cast<std::size_t>(length));
  return CutAtNul(EncodeUtf8(units));
}

Text PercentEncode(const Text& text, bool keepSafe, bool asUtf8) {
  if (text.empty()) return {};
  const Text bytes = asUtf8 ? AnsiToUtf8(text) : text;
  static constexpr char kHex[] = "0123456789ABCDEF";
  Text out;
  out.reserve(bytes.size() * 3);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    const bool kept = (b >= 0x2D && b <= 0x39 && b != 0x2F) || (b >= 0x41 && b <= 0x5A) ||
                      (b >= 0x61 && b <= 0x7A);
    if (keepSafe && kept) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}

Text Gbk(std::string_view utf8) { return Utf8ToAnsi(Text(utf8)); }

}  // namespace lumirack
