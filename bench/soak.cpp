// The long run: the monitor window on the headless toolkit polls the stand-in service tick after
// tick while join requests keep arriving. Every decision the service recorded must appear as one
// results line, in order, and every results line must be a recorded decision; the resident memory
// after the first 1,000 ticks must grow by less than 5 MB to the end. Not part of the test run:
//   build/soak [ticks]   (100000 by default)
// Prints the figures and exits non-zero when a check fails.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/session_state.h"
#include "login/bkn.h"
#include "monitor/monitor_controls.h"
#include "monitor/monitor_window.h"
#include "sim/sim_server.h"
#include "storage/data_dir.h"
#include "support/charset.h"
#include "support/texts.h"
#include "ui/headless.h"

namespace {

using namespace lumirack;

long RssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// The results line a recorded decision gives (UTF-8).
std::string LineOf(const sim::Decision& d, const std::string& blacklisted) {
  std::string line =
      d.cmd == 2 ? (d.uin == blacklisted ? "拒绝黑名单QQ：" : "拒绝答案错误QQ：") : "同意QQ：";
  return line + d.uin + "加入QQ群：" + d.group + (d.ec == 0 ? "成功" : "失败") + "\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  const long ticks = argc > 1 ? std::atol(argv[1]) : 100'000;
  const std::string blacklisted = "40004";

  sim::SimServer sim;
  if (!sim.Start(0)) {
    std::fprintf(stderr, "the stand-in did not start: %s\n", sim.LastError().c_str());
    return 2;
  }
  // Only the requests added below: every line is then a decision.
  sim.SetMessages({});
  // A cookie renewed on every reply, so the merging runs the whole time.
  sim.SetCookieRefresh({.enabled = true});

  char pattern[] = "/tmp/lumirack-soak-XXXXXX";
  SetDataDirectory(std::filesystem::path(::mkdtemp(pattern)));
  Session().serviceHost = sim.HostPort();
  Session().cookies = sim.SignIn("10001");
  Session().bkn = ComputeBkn(TextBetween(Session().cookies + "; ", "skey=", "; "));

  HeadlessToolkit ui;
  SetUi(&ui);
  auto* monitor = static_cast<HeadlessWindow*>(ui.Load(MonitorWindowDefinition(), false));
  monitor->SetText(monitor::kBlacklistBox, blacklisted + "\r\n");
  monitor->SetText(monitor::kAnswerBox, Gbk("对"));
  ui.OnNextModal([&ui](HeadlessWindow& dialog) {
    ui.Paste(dialog, "编辑框频率", "1000");
    ui.Click(dialog, "按钮1");
  });
  ui.Click(*monitor, "按钮1");

  // Compared in rounds of 1,000 ticks, so that neither the service's records nor the expected
  // lines pile up in memory.
  std::size_t checkedBytes = 0;
  long decisions = 0, mismatches = 0;
  auto check = [&] {
    std::string expected;
    for (const sim::Decision& d : sim.Decisions()) expected += LineOf(d, blacklisted);
    sim.ClearRecords();
    const Text results = monitor->GetText(monitor::kResultsBox);
    const Text fresh = results.substr(checkedBytes);
    if (fresh != Gbk(expected)) ++mismatches;
    checkedBytes = results.size();
    for (char c : fresh) decisions += c == '\n';
  };

  const auto started = std::chrono::steady_clock::now();
  long rssAt1000 = 0;
  int uin = 50000;
  for (long i = 1; i <= ticks; ++i) {
    // A request arrives every second tick: approved, blacklisted or with a wrong answer.
    if (i % 2 != 0) {
      sim::Message m;
      m.uin = i % 7 == 0 ? blacklisted : std::to_string(++uin);
      m.group = "30001";
      m.answer = i % 5 == 0 ? "错" : "对";
      sim.AddMessage(m);
    }
    if (!ui.Fire(*monitor, "时钟1")) {
      std::fprintf(stderr, "the poll timer stopped at tick %ld\n", i);
      return 1;
    }
    if (i % 1000 == 0) check();
    if (i == 1000) rssAt1000 = RssKb();
    // The trend, with the results box beside it: that box grows by design.
    if (i % 10000 == 0) {
      std::printf("tick %ld: RSS %ld kB, results box %zu bytes\n", i, RssKb(), checkedBytes);
      std::fflush(stdout);
    }
  }
  check();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const long rssEnd = RssKb();
  const bool noDialog = ui.messages().empty();

  std::printf("ticks %ld in %.1f s (%.2f ms a tick)\n", ticks, seconds, 1000 * seconds / ticks);
  std::printf("results lines %ld, rounds that did not match the service's record %ld\n", decisions,
              mismatches);
  std::printf("RSS at tick 1000 %ld kB, at the end %ld kB, growth %ld kB\n", rssAt1000, rssEnd,
              rssEnd - rssAt1000);
  std::printf("cookie text %zu bytes, results box %zu bytes, dialogs %s\n",
              Session().cookies.size(), checkedBytes, noDialog ? "none" : "SHOWN");

  std::error_code error;
  std::filesystem::remove_all(pattern, error);
  SetUi(nullptr);
  const bool grewTooMuch = ticks >= 2000 && rssEnd - rssAt1000 >= 5 * 1024;
  return mismatches == 0 && decisions > 0 && noDialog && !grewTooMuch ? 0 : 1;
}
