#pragma once

// A realistic reply of the group system-message fetch, for benchmarks: UTF-8 HTML with Chinese
// text and about 2,000 message blocks per MB.

#include <cstddef>
#include <string>

namespace lumirack::bench {

// A UTF-8 reply of about `bytes` bytes (at least one block).
std::string MakeReply(std::size_t bytes);

}  // namespace lumirack::bench
