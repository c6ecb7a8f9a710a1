// The conversions are total: any bytes in, no NUL out, and GBK text that came from UTF-8 goes
// back to UTF-8 and again to the same GBK. PercentEncode gives three bytes per byte encoded.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "support/charset.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumirack;
  const auto f = fuzz::Fields(data, size, 2);
  const Text& text = f[0];
  const int flags = fuzz::Small(f[1]);

  const Text gbk = Utf8ToAnsi(text);
  fuzz::Require(gbk.find('\0') == Text::npos);
  const Text utf8 = AnsiToUtf8(text);
  fuzz::Require(utf8.find('\0') == Text::npos);
  fuzz::Require(Utf8ToAnsi(AnsiToUtf8(gbk)) == gbk);

  const Text all = PercentEncode(text, false, false);
  fuzz::Require(all.size() == 3 * text.size());
  const Text chosen = PercentEncode(text, flags & 1, flags & 2);
  for (char c : chosen) {
    const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       c == '%' || c == '-' || c == '.';
    fuzz::Require(plain);
  }
  return 0;
}
