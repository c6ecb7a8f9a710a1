#include "raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

#include "sim/request_parser.h"

namespace lumirack::sim::testing {

std::string RawReply::Header(const std::string& name) const {
  const std::string* value = FindHeader(headers, name);
  return value ? *value : std::string();
}

std::vector<std::string> RawReply::Headers(const std::string& name) const {
  std::vector<std::string> values;
  for (const auto& [key, value] : headers) {
    if (EqualsNoCase(key, name)) values.push_back(value);
  }
  return values;
}

namespace {

RawReply Receive(int fd, RawReply reply, int timeoutMs, std::size_t keepBytes);

}  // namespace

RawReply Exchange(int port, const std::string& request, int timeoutMs, std::size_t keepBytes) {
  return ExchangeInParts(port, {request}, timeoutMs, keepBytes);
}

RawReply ExchangeInParts(int port, const std::vector<std::string>& parts, int timeoutMs,
                         std::size_t keepBytes) {
  RawReply reply;
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return reply;
  }
  reply.connected = true;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    for (std::size_t sent = 0; sent < part.size();) {
      const ssize_t n = send(fd, part.data() + sent, part.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    if (i + 1 == parts.size()) break;
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, timeoutMs) <= 0) break;
    char buffer[4096];
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.received += static_cast<std::size_t>(n);
    reply.bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return Receive(fd, std::move(reply), timeoutMs, keepBytes);
}

namespace {

RawReply Receive(int fd, RawReply reply, int timeoutMs, std::size_t keepBytes) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[64 * 1024];
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) break;
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left)) <= 0) break;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.received += static_cast<std::size_t>(n);
    if (reply.bytes.size() < keepBytes) {
      reply.bytes.append(buffer,
                         std::min(static_cast<std::size_t>(n), keepBytes - reply.bytes.size()));
    }
  }
  close(fd);

  // Skip interim 1xx replies.
  std::size_t start = 0;
  while (true) {
    const std::size_t headEnd = reply.bytes.find("\r\n\r\n", start);
    if (headEnd == std::string::npos) return reply;
    if (reply.bytes.compare(start, 10, "HTTP/1.1 1") == 0) {
      start = headEnd + 4;
      continue;
    }
    reply.head = reply.bytes.substr(start, headEnd - start);
    reply.body = reply.bytes.substr(headEnd + 4);
    break;
  }
  const std::size_t lineEnd = reply.head.find("\r\n");
  const std::string statusLine = reply.head.substr(0, lineEnd);
  if (statusLine.size() >= 12) reply.status = std::atoi(statusLine.c_str() + 9);
  std::size_t pos = lineEnd;
  while (pos != std::string::npos) {
    const std::size_t from = pos + 2;
    pos = reply.head.find("\r\n", from);
    const std::string line = reply.head.substr(from, pos == std::string::npos ? pos : pos - from);
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::size_t valueStart = colon + 1;
    while (valueStart < line.size() && line[valueStart] == ' ') ++valueStart;
    reply.headers.emplace_back(line.substr(0, colon), line.substr(valueStart));
  }
  return reply;
}

}  // namespace

std::string Request(const std::string& method, const std::string& target,
                    const std::string& cookies, const std::string& body, const std::string& host) {
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: " + host + "\r\n";
  if (!cookies.empty()) request += "Cookie: " + cookies + "\r\n";
  if (method == "POST") {
    request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n";
  }
  request += "Connection: close\r\n\r\n" + body;
  return request;
}

}  // namespace lumirack::sim::testing
