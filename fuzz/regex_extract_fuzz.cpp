// ExtractAllBetween with any markers, text and options: no crash, no unbounded work, and with
// JIT and the interpreter giving the same results.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "support/regex_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumirack;
  const auto f = fuzz::Fields(data, size, 7);
  const Text& text = f[0];
  const Text& left = f[1];
  const Text& right = f[2];
  const int maxLength = fuzz::Small(f[3]);
  const int flags = fuzz::Small(f[6]);

  TextList results;
  const int n =
      ExtractAllBetween(text, left, right, results, maxLength, f[4], f[5], flags & 1, flags & 2);
  fuzz::Require(n == static_cast<int>(results.size()));

  TextList interpreted;
  const int m = detail::ExtractAllBetween(false, text, left, right, interpreted, maxLength, f[4],
                                          f[5], flags & 1, flags & 2);
  // The interpreter may give up on a match limit where JIT does not; when both answer, they
  // agree.
  if (m != 0 && n != 0) fuzz::Require(results == interpreted);

  EscapeMarker(left);
  return 0;
}
