#pragma once

#include "support/text.h"

namespace lumirack {

// The service's token for a session: a 32-bit times-33 hash of the skey bytes (read as signed
// 8-bit values, starting at 5381), masked to 31 bits, in decimal.
Text ComputeBkn(const Text& skey);

}  // namespace lumirack
