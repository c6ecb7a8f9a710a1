#pragma once

// Cuts HTTP/1.1 requests out of the bytes a connection delivered, keeping them exactly as they
// came: the header lines in their order and spelling, and the raw bytes of head and body.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumirack::sim {

struct ParsedRequest {
  std::string method;
  std::string target;
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;  // in the order received
  std::string body;  // the payload: the chunks joined for a chunked body
  std::string raw;   // the head and the body bytes as they arrived
  bool expectContinue = false;
};

enum class ParseStatus {
  kNeedMore,      // the request is not complete yet
  kComplete,      // `request` holds it; `consumed` bytes belong to it
  kBad,           // malformed: answer 400 and close
  kHeadTooLarge,  // the head exceeds the limit: answer 431 and close
  kBodyTooLarge,  // the body exceeds the limit: answer 413 and close
};

struct ParseResult {
  ParseStatus status = ParseStatus::kNeedMore;
  std::size_t consumed = 0;
  bool headComplete = false;  // the head is in; `request` holds its fields (not yet the body)
  ParsedRequest request;
  std::string error;  // what was wrong, for kBad
};

inline constexpr std::size_t kMaxHeadBytes = 64 * 1024;
inline constexpr std::size_t kMaxBodyBytes = 1024 * 1024;

// Parses the first request in `bytes`. Stateless: call again with more bytes when it needs more.
ParseResult ParseRequest(std::string_view bytes, std::size_t maxHead = kMaxHeadBytes,
                         std::size_t maxBody = kMaxBodyBytes);

// The value of the first header of that name (ASCII case ignored), or nullptr.
const std::string* FindHeader(const std::vector<std::pair<std::string, std::string>>& headers,
                              std::string_view name);

bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace lumirack::sim
