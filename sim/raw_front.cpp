#include "sim/raw_front.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <string_view>

namespace lumirack::sim {
namespace {

constexpr int kPollMs = 50;
constexpr auto kIdleTimeout = std::chrono::seconds(60);
constexpr std::size_t kMaxBuffered = 256 * 1024;
constexpr std::size_t kMaxQueued = 16;

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK); }

void SetNoDelay(int fd) {
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

int ConnectLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  SetNoDelay(fd);
  return fd;
}

// Sends what the socket takes now; false when the peer is gone.
bool Flush(int fd, std::string& pending) {
  while (!pending.empty()) {
    const ssize_t n = send(fd, pending.data(), pending.size(), MSG_NOSIGNAL);
    if (n > 0) {
      pending.erase(0, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
    return false;
  }
  return true;
}

enum class ReadResult { kData, kNothing, kEof, kError };

ReadResult ReadSome(int fd, std::string& into) {
  char buffer[64 * 1024];
  const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
  if (n > 0) {
    into.append(buffer, static_cast<std::size_t>(n));
    return ReadResult::kData;
  }
  if (n == 0) return ReadResult::kEof;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return ReadResult::kNothing;
  return ReadResult::kError;
}

// Follows one reply of the server behind, to tell when it is complete.
class ReplyTracker {
 public:
  void Reset(bool headRequest) {
    head_.clear();
    headDone_ = false;
    headRequest_ = headRequest;
    remaining_ = 0;
    untilClose_ = false;
  }

  // True once the reply is complete (never for one that ends only when the connection does).
  bool Feed(std::string_view data) {
    if (!headDone_) {
      head_.append(data);
      const std::size_t end = head_.find("\r\n\r\n");
      if (end == std::string::npos) return false;
      headDone_ = true;
      const std::size_t bodyBytes = head_.size() - (end + 4);
      data = data.substr(data.size() - bodyBytes);
      head_.resize(end + 2);
      ParseHead();
    }
    if (untilClose_) return false;
    remaining_ -= std::min<std::uint64_t>(remaining_, data.size());
    return remaining_ == 0;
  }

 private:
  void ParseHead() {
    const int status = head_.size() > 12 ? std::atoi(head_.c_str() + 9) : 0;
    if (headRequest_ || status == 204 || status == 304 || (status >= 100 && status < 200)) return;
    std::string lower = head_;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find("\r\ntransfer-encoding:") != std::string::npos) {
      untilClose_ = true;
      return;
    }
    const std::size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos) {
      untilClose_ = true;
      return;
    }
    remaining_ = std::strtoull(lower.c_str() + at + 17, nullptr, 10);
  }

  std::string head_;
  bool headDone_ = false;
  bool headRequest_ = false;
  std::uint64_t remaining_ = 0;
  bool untilClose_ = false;
};

const char* ReasonOf(ParseStatus status) {
  switch (status) {
    case ParseStatus::kHeadTooLarge:
      return "Request Header Fields Too Large";
    case ParseStatus::kBodyTooLarge:
      return "Payload Too Large";
    default:
      return "Bad Request";
  }
}

}  // namespace

std::string JsonErrorReply(int status, const std::string& reason, int ec,
                           const std::string& message) {
  const std::string body = "{\"ec\":" + std::to_string(ec) + ",\"em\":\"" + message + "\"}";
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

std::string ForwardedRequest(const ParsedRequest& request, std::uint64_t id) {
  std::string out = request.method + " " + request.target + " " + request.version + "\r\n";
  for (const auto& [name, value] : request.headers) {
    if (EqualsNoCase(name, "Expect") || EqualsNoCase(name, "Transfer-Encoding") ||
        EqualsNoCase(name, "Content-Length") || EqualsNoCase(name, "Accept-Encoding") ||
        EqualsNoCase(name, "X-Sim-Id")) {
      continue;
    }
    out += name + ": " + value + "\r\n";
  }
  if (!request.body.empty() || request.method == "POST" || request.method == "PUT") {
    out += "Content-Length: " + std::to_string(request.body.size()) + "\r\n";
  }
  out += "X-Sim-Id: " + std::to_string(id) + "\r\n\r\n";
  out += request.body;
  return out;
}

RawFront::RawFront(Admit admit, Release release)
    : admit_(std::move(admit)), release_(std::move(release)) {}

RawFront::~RawFront() { Stop(); }

bool RawFront::Start(int port, int backendPort) {
  backendPort_ = backendPort;
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) return false;
  int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listenFd_, 64) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  port_ = ntohs(addr.sin_port);
  stopping_ = false;
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void RawFront::Stop() {
  if (!acceptThread_.joinable()) return;
  stopping_ = true;
  acceptThread_.join();
  close(listenFd_);
  listenFd_ = -1;
}

void RawFront::ReapFinished(bool all) {
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (all || (*it)->done) {
      (*it)->thread.join();
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

void RawFront::AcceptLoop() {
  while (!stopping_) {
    ReapFinished(false);
    pollfd pfd{listenFd_, POLLIN, 0};
    if (poll(&pfd, 1, kPollMs) <= 0) continue;
    const int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    SetNoDelay(client);
    if (connections_.size() >= kMaxConnections) {
      const std::string reply =
          JsonErrorReply(503, "Service Unavailable", 503, "too many connections");
      send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
      close(client);
      continue;
    }
    auto connection = std::make_unique<Connection>();
    Connection* self = connection.get();
    connection->thread = std::thread([this, client, self] { Serve(client, self); });
    connections_.push_back(std::move(connection));
  }
  ReapFinished(true);
}

void RawFront::Serve(int client, Connection* self) {
  std::vector<std::uint64_t> ids;
  const int backend = ConnectLoopback(backendPort_);
  if (backend < 0) {
    const std::string reply = JsonErrorReply(503, "Service Unavailable", 503, "server not ready");
    send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
    close(client);
    self->done = true;
    return;
  }
  SetNonBlocking(client);
  SetNonBlocking(backend);

  std::string fromClient;
  std::string toBackend;
  std::string toClient;
  // The server behind does not read pipelined requests, so one at a time goes to it; the others
  // wait here until the reply before them is complete.
  std::deque<std::pair<std::string, bool>> queued;  // forwarded bytes, whether HEAD
  ReplyTracker reply;
  bool awaiting = false;
  bool clientEof = false;
  bool backendEof = false;
  bool backendWriteShut = false;
  bool closeAfterFlush = false;  // the connection ends once toClient is out
  bool continueSent = false;
  auto lastActivity = std::chrono::steady_clock::now();

  const auto dispatch = [&] {
    if (!awaiting && !queued.empty() && !backendEof) {
      toBackend += queued.front().first;
      reply.Reset(queued.front().second);
      queued.pop_front();
      awaiting = true;
    }
  };
  while (!stopping_) {
    dispatch();
    if (clientEof && !awaiting && queued.empty() && toBackend.empty() && !backendWriteShut) {
      shutdown(backend, SHUT_WR);
      backendWriteShut = true;
    }
    if (closeAfterFlush && toClient.empty()) break;
    if (backendEof && toClient.empty()) break;

    pollfd fds[2] = {{client, 0, 0}, {backend, 0, 0}};
    if (!clientEof && !closeAfterFlush && fromClient.size() < kMaxBuffered &&
        queued.size() < kMaxQueued) {
      fds[0].events |= POLLIN;
    }
    if (!toClient.empty()) fds[0].events |= POLLOUT;
    if (!backendEof && toClient.size() < kMaxBuffered) fds[1].events |= POLLIN;
    if (!toBackend.empty()) fds[1].events |= POLLOUT;
    // A closed side stays out of the poll, or its hang-up would be reported without end.
    if (clientEof && toClient.empty()) fds[0].fd = -1;
    if (backendEof) fds[1].fd = -1;
    const int n = poll(fds, 2, kPollMs);
    if (n < 0 && errno != EINTR) break;
    const auto now = std::chrono::steady_clock::now();
    if (n <= 0) {
      if (now - lastActivity > kIdleTimeout) break;
      continue;
    }
    lastActivity = now;
    if (fds[0].revents & POLLERR) break;

    if (fds[0].revents & (POLLIN | POLLHUP)) {
      const ReadResult r = ReadSome(client, fromClient);
      if (r == ReadResult::kError) break;
      if (r == ReadResult::kEof) clientEof = true;
      bool abort = false;
      while (!fromClient.empty() && !closeAfterFlush) {
        ParseResult parsed = ParseRequest(fromClient);
        if (parsed.status == ParseStatus::kNeedMore) {
          if (parsed.headComplete && parsed.request.expectContinue && !continueSent) {
            toClient += "HTTP/1.1 100 Continue\r\n\r\n";
            continueSent = true;
          }
          break;
        }
        if (parsed.status != ParseStatus::kComplete) {
          const int status = parsed.status == ParseStatus::kHeadTooLarge   ? 431
                             : parsed.status == ParseStatus::kBodyTooLarge ? 413
                                                                           : 400;
          const std::string message = parsed.status == ParseStatus::kBad
                                          ? parsed.error
                                          : std::string(ReasonOf(parsed.status));
          toClient += JsonErrorReply(status, ReasonOf(parsed.status), status, message);
          closeAfterFlush = true;
          break;
        }
        continueSent = false;
        fromClient.erase(0, parsed.consumed);
        const FrontVerdict verdict = admit_(parsed.request);
        if (verdict.action == FrontVerdict::Action::kClose) {
          abort = true;
          break;
        }
        ids.push_back(verdict.id);
        queued.emplace_back(ForwardedRequest(parsed.request, verdict.id),
                            parsed.request.method == "HEAD");
      }
      if (abort) break;
    }
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      const std::size_t before = toClient.size();
      const ReadResult r = ReadSome(backend, toClient);
      if (r == ReadResult::kError || r == ReadResult::kEof) backendEof = true;
      if (awaiting && reply.Feed(std::string_view(toClient).substr(before))) awaiting = false;
    }
    dispatch();
    if (!Flush(client, toClient)) break;
    if (!Flush(backend, toBackend)) backendEof = true;
  }
  close(client);
  close(backend);
  if (!ids.empty()) release_(ids);
  self->done = true;
}

}  // namespace lumirack::sim
