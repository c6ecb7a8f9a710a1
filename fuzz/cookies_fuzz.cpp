// MergeCookies over any held and received cookie texts: the held text becomes the merged one, and
// the merged text can be merged again.

#include <cstddef>
#include <cstdint>
#include <set>

#include "fuzz/fuzz_input.h"
#include "support/cookies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumirack;
  const auto f = fuzz::Fields(data, size, 2);
  Text current = f[0];
  Text received = f[1];
  const Text merged = MergeCookies(current, received);
  fuzz::Require(merged == current);

  Text again = merged;
  Text nothing;
  MergeCookies(again, nothing);
  JoinDistinct(f[0], "; ");
  return 0;
}
