#pragma once

// The stand-in's public listener. It reads every request itself, so that what was received is
// known byte for byte (cpp-httplib keeps neither the order nor the spelling of header lines),
// then hands it to the HTTP server behind it over a loopback connection of its own and relays
// the reply back untouched. Framing errors and oversized requests are answered here.

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/request_parser.h"

namespace lumirack::sim {

struct FrontVerdict {
  enum class Action { kForward, kClose };
  Action action = Action::kForward;
  std::uint64_t id = 0;  // sent on to the server behind as the X-Sim-Id header
};

class RawFront {
 public:
  // Called on the connection's thread for every complete request.
  using Admit = std::function<FrontVerdict(const ParsedRequest&)>;
  // Called when a connection ends, with the ids it admitted.
  using Release = std::function<void(const std::vector<std::uint64_t>&)>;

  RawFront(Admit admit, Release release);
  ~RawFront();

  // Listens on 127.0.0.1:port (0: a free port) and relays to 127.0.0.1:backendPort.
  bool Start(int port, int backendPort);
  void Stop();
  int Port() const { return port_; }

  static constexpr int kMaxConnections = 48;

 private:
  struct Connection {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void AcceptLoop();
  void Serve(int client, Connection* self);
  void ReapFinished(bool all);

  Admit admit_;
  Release release_;
  int listenFd_ = -1;
  int port_ = 0;
  int backendPort_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptThread_;
  std::list<std::unique_ptr<Connection>> connections_;  // touched by the accept thread only
};

// The request as sent on to the server behind: chunks joined, a Content-Length, no Expect and no
// Accept-Encoding (replies stay uncompressed), and the id header.
std::string ForwardedRequest(const ParsedRequest& request, std::uint64_t id);

// A complete reply with a short JSON error body; the connection closes after it.
std::string JsonErrorReply(int status, const std::string& reason, int ec,
                           const std::string& message);

}  // namespace lumirack::sim
