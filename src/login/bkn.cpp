#include "login/bkn.h"

#include <cstdint>

namespace lumirack {

Text ComputeBkn(const Text& skey) {
  // Unsigned arithmetic wraps exactly as the 32-bit two's-complement sum does.
  std::uint32_t h = 5381;
  for (char c : skey) {
    const auto signedByte = static_cast<std::int32_t>(static_cast<signed char>(c));
    h = h + (h << 5) + static_cast<std::uint32_t>(signedByte);
  }
  return DecimalText(h & 0x7FFFFFFFu);
}

}  // namespace lumirack
