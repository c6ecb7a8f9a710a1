#pragma once

// A bare-socket HTTP client for the stand-in's tests: it sends exactly the bytes given and keeps
// exactly the bytes received, so faults (a cut body, NUL bytes, no reply at all) stay visible.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace lumirack::sim::testing {

struct RawReply {
  bool connected = false;
  std::string bytes;         // everything received (up to the keep limit)
  std::size_t received = 0;  // how many bytes arrived in all
  int status = 0;            // 0 when no status line came
  std::vector<std::pair<std::string, std::string>> headers;
  std::string head;  // the header block, up to the empty line
  std::string body;  // what followed the head (as kept)

  // The first header of that name (ASCII case ignored), or "".
  std::string Header(const std::string& name) const;
  std::vector<std::string> Headers(const std::string& name) const;
};

// Sends `request` to 127.0.0.1:port and reads until the server closes or `timeoutMs` passes;
// keeps at most `keepBytes` of what arrives and counts the rest.
RawReply Exchange(int port, const std::string& request, int timeoutMs = 5000,
                  std::size_t keepBytes = 16 * 1024 * 1024);

// Sends the parts one after another, waiting after each but the last until some reply bytes
// have come (as a client does that waits for "100 Continue"), then reads as Exchange does.
RawReply ExchangeInParts(int port, const std::vector<std::string>& parts, int timeoutMs = 5000,
                         std::size_t keepBytes = 16 * 1024 * 1024);

// A request that closes the connection after its reply.
std::string Request(const std::string& method, const std::string& target,
                    const std::string& cookies = {}, const std::string& body = {},
                    const std::string& host = "127.0.0.1");

}  // namespace lumirack::sim::testing
