// Runs the built lumirack-sim as a newcomer would.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "raw_client.h"

namespace lumirack::sim {
namespace {

struct Child {
  pid_t pid = -1;
  int out = -1;
  int err = -1;
};

Child Spawn(std::vector<std::string> args) {
  int out[2];
  int err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    std::vector<char*> argv;
    args.insert(args.begin(), LUMIRACK_SIM_BINARY);
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  return {pid, out[0], err[0]};
}

// Reads until `stop` is in the text, the stream ends or the time is up.
std::string ReadUntil(int fd, const std::string& stop, int timeoutMs = 5000) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (stop.empty() || text.find(stop) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    pollfd pfd{fd, POLLIN, 0};
    if (left <= 0 || poll(&pfd, 1, static_cast<int>(left)) <= 0) break;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

// The exit code, or -1 when the child did not end in time (it is then killed).
int WaitExit(pid_t pid, int timeoutMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

TEST(SimCommandLine, PrintsTheListeningLineFirstServesAndEndsOnSignals) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    Child child = Spawn({"--port", "0", "--seed", "1", "--arrival-ms", "3000"});
    ASSERT_GT(child.pid, 0);
    const std::string first = ReadUntil(child.out, "\n");
    ASSERT_EQ(first.rfind("listening on 127.0.0.1:", 0), 0u) << first;
    const int port = std::stoi(first.substr(first.find(':') + 1));
    EXPECT_GT(port, 0);

    const testing::RawReply pending =
        testing::Exchange(port, testing::Request("GET", "/sim/pending"));
    EXPECT_EQ(pending.status, 200);
    EXPECT_NE(pending.body.find("\"seq\""), std::string::npos);

    kill(child.pid, signal);
    EXPECT_EQ(WaitExit(child.pid), 0);
    close(child.out);
    close(child.err);
  }
}

TEST(SimCommandLine, HelpAndBadOptions) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    bool usageOnStdout;
    bool usageOnStderr;
  };
  const Case cases[] = {
      {"help", {"--help"}, 0, true, false},
      {"unknown option", {"--bogus"}, 2, false, true},
      {"port out of range", {"--port", "70000"}, 2, false, true},
      {"port missing", {"--port"}, 2, false, true},
      {"seed not a number", {"--seed", "x"}, 2, false, true},
      {"scenario missing", {"--scenario", "/nonexistent/s.json"}, 1, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Child child = Spawn(c.args);
    ASSERT_GT(child.pid, 0);
    const std::string out = ReadUntil(child.out, "");
    const std::string err = ReadUntil(child.err, "");
    EXPECT_EQ(WaitExit(child.pid), c.exitCode);
    EXPECT_EQ(out.find("Usage: lumirack-sim") != std::string::npos, c.usageOnStdout) << out;
    EXPECT_EQ(err.find("Usage: lumirack-sim") != std::string::npos, c.usageOnStderr) << err;
    if (c.exitCode != 0) {
      EXPECT_FALSE(err.empty());
    }
    close(child.out);
    close(child.err);
  }
}

}  // namespace
}  // namespace lumirack::sim
