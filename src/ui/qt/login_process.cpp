#include "ui/qt/login_process.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/session_state.h"
#include "app/startup.h"
#include "login/login_window.h"
#include "ui/qt/qt_toolkit.h"

namespace lumirack {
namespace {

constexpr std::string_view kLoginMode = "--internal-login-process";
constexpr int kHandOverFd = 3;  // where the child finds the pipe's write end

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// "<decimal length>:<bytes>" from the front of `in`; false when it does not parse.
bool TakeField(std::string_view& in, Text& out) {
  const std::size_t colon = in.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 12) return false;
  std::size_t length = 0;
  for (char c : in.substr(0, colon)) {
    if (c < '0' || c > '9') return false;
    length = length * 10 + static_cast<std::size_t>(c - '0');
  }
  in.remove_prefix(colon + 1);
  if (length > in.size()) return false;
  out.assign(in.substr(0, length));
  in.remove_prefix(length);
  return true;
}

std::string SelfPath(const char* argv0) {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n > 0) return std::string(buffer, static_cast<std::size_t>(n));
  return argv0;
}

}  // namespace

bool WriteHandOver(int fd, const HandOver& session) {
  std::string bytes;
  for (const Text* field : {&session.cookies, &session.bkn}) {
    bytes += std::to_string(field->size());
    bytes += ':';
    bytes += *field;
  }
  return WriteAll(fd, bytes);
}

std::optional<HandOver> ReadHandOver(int fd) {
  std::string bytes;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    if (bytes.size() > (16u << 20)) return std::nullopt;  // no cookie string is that long
  }
  std::string_view in = bytes;
  HandOver session;
  if (!TakeField(in, session.cookies) || !TakeField(in, session.bkn) || !in.empty()) {
    return std::nullopt;
  }
  return session;
}

bool IsLoginProcess(int argc, char** argv) { return argc >= 2 && argv[1] == kLoginMode; }

int LoginProcessMain(int argc, char** argv) {
  if (argc < 4) return 2;
  Session().loginHost = argv[2];
  Session().serviceHost = argv[3];
  // Chromium will not start its sandbox as root; a user's own account keeps it.
  if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
  PrepareQtEnvironment();
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  QtToolkit ui;
  bool handedOver = false;
  SetMonitorLoader([&handedOver] {
    handedOver = WriteHandOver(kHandOverFd, {Session().cookies, Session().bkn});
    ::close(kHandOverFd);
  });
  RunProgram(ui);
  return handedOver ? 0 : 1;
}

std::optional<HandOver> RunLoginProcess(const char* argv0, bool* failed) {
  if (failed) *failed = false;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    if (failed) *failed = true;
    return std::nullopt;
  }
  const std::string self = SelfPath(argv0);
  std::vector<std::string> args = {argv0, std::string(kLoginMode), Session().loginHost,
                                   Session().serviceHost};
  std::vector<char*> childArgv;
  for (std::string& a : args) childArgv.push_back(a.data());
  childArgv.push_back(nullptr);
  const pid_t parent = ::getpid();

  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    if (failed) *failed = true;
    return std::nullopt;
  }
  if (pid == 0) {
    // Only async-signal-safe calls from here to exec: the parent may have threads.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    if (fds[1] == kHandOverFd) {
      ::fcntl(kHandOverFd, F_SETFD, 0);
    } else if (::dup2(fds[1], kHandOverFd) < 0) {
      ::_exit(127);
    }
    ::execv(self.c_str(), childArgv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  std::optional<HandOver> session = ReadHandOver(fds[0]);
  ::close(fds[0]);
  auto reap = [pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
  };
  if (session) {
    // The session is here: the monitor window need not wait while the engine shuts down.
    std::thread(reap).detach();
    return session;
  }
  // A closed login window ends the child with 1; anything else is a failure to run.
  const int status = reap();
  const bool closed = WIFEXITED(status) && WEXITSTATUS(status) == 1;
  if (failed) *failed = !closed;
  return std::nullopt;
}

}  // namespace lumirack
