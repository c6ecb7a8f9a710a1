// The response header block as the request helper reads it: the returned header text is the
// block or exactly the 5000-byte area of spaces, never with a NUL in it.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "fuzz/fuzz_input.h"
#include "support/http.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumirack;
  // Here the whole input is the block, NUL bytes included, as a server may send them.
  const Text block(reinterpret_cast<const char*>(data), size);
  const ResponseHeaders got = ReadResponseHeaders(block);
  fuzz::Require(got.returnedHeaders.size() < kHeaderAreaBytes ||
                got.returnedHeaders == Text(kHeaderAreaBytes, ' '));
  fuzz::Require(got.returnedHeaders.find('\0') == Text::npos);

  CollectCookies(block.substr(0, block.find('\0')));
  TextAfterFirstColon(block.substr(0, block.find('\0')));
  return 0;
}
