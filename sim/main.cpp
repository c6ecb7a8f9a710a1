// lumirack-sim: runs the stand-in service on 127.0.0.1 until SIGINT or SIGTERM.

#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "sim/sim_server.h"

namespace {

constexpr const char* kUsage =
    "Usage: lumirack-sim [--port N] [--scenario FILE] [--seed N] [--arrival-ms N]\n"
    "\n"
    "A local stand-in for the QQ web-login page and the QQ group web service, for tests and\n"
    "demos. It listens on 127.0.0.1 only, over plain http.\n"
    "\n"
    "  --port N         port to listen on; 0 (the default) picks a free one\n"
    "  --scenario FILE  pending messages from a JSON file, e.g.\n"
    "                   {\"messages\": [{\"uin\": \"12345\", \"group\": \"678901\",\n"
    "                                   \"answer\": \"hello\"}], \"keepDecided\": false}\n"
    "  --seed N         seed of the generated messages when no scenario is given (default 1)\n"
    "  --arrival-ms N   a new join request arrives every N ms (default 0: none)\n"
    "  --help           show this text\n"
    "\n"
    "The first line of output is \"listening on 127.0.0.1:PORT\". Sign in at the login address\n"
    "it prints (\"快速登录\" signs in as 10001 at once); /sim/ lists the inspection endpoints.\n"
    "Ends on Ctrl+C (SIGINT) or SIGTERM.\n";

bool ParseNumber(const char* text, long long min, long long max, long long& out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (*end != '\0' || value < min || value > max) return false;
  out = value;
  return true;
}

int UsageError(const std::string& message) {
  std::cerr << "lumirack-sim: " << message << "\n\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  lumirack::sim::Options options;
  int port = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    long long number = 0;
    if (arg == "--port") {
      if (!ParseNumber(value, 0, 65535, number)) return UsageError("--port needs 0 to 65535");
      port = static_cast<int>(number);
    } else if (arg == "--seed") {
      if (!ParseNumber(value, 0, INT64_MAX, number)) return UsageError("--seed needs a number");
      options.seed = static_cast<std::uint64_t>(number);
    } else if (arg == "--arrival-ms") {
      if (!ParseNumber(value, 0, 86400000, number)) {
        return UsageError("--arrival-ms needs a number of milliseconds");
      }
      options.arrivalMs = static_cast<int>(number);
    } else if (arg == "--scenario") {
      if (value == nullptr) return UsageError("--scenario needs a file");
      options.scenarioFile = value;
    } else {
      return UsageError("unknown option " + arg);
    }
    ++i;
  }

  // Block the stop signals in every thread; the main thread takes them with sigwait.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  lumirack::sim::SimServer server(options);
  if (!server.Start(port)) {
    std::cerr << "lumirack-sim: " << server.LastError() << "\n";
    return 1;
  }
  std::cout << "listening on " << server.HostPort() << std::endl;
  std::cout << "login page:  " << server.LoginUrl() << "\n"
            << "messages:    " << server.Pending().size() << " pending";
  if (options.scenarioFile.empty()) std::cout << " (generated, seed " << options.seed << ")";
  if (options.arrivalMs > 0) {
    std::cout << "; a new join request every " << options.arrivalMs << " ms";
  }
  std::cout << "\ninspection:  " << server.BaseUrl() << "/sim/\n"
            << "Press Ctrl+C to stop." << std::endl;

  int received = 0;
  sigwait(&stopSignals, &received);
  server.Stop();
  std::cout << "stopped" << std::endl;
  return 0;
}
