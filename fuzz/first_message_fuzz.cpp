// A reply body as the poll tick handles it: converted, cut into blocks, and the first block read
// and decided on a headless monitor window. The decision call goes to a loopback port that is
// bound but not listening, so it is refused at once and every decided line ends in "失败".

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/session_state.h"
#include "fuzz/fuzz_input.h"
#include "monitor/monitor_controls.h"
#include "monitor/monitor_window.h"
#include "processing/poll.h"
#include "storage/data_dir.h"
#include "support/charset.h"
#include "support/regex_extract.h"
#include "support/texts.h"
#include "tests/common/refused_port.h"
#include "ui/headless.h"

namespace {

using namespace lumirack;

struct Harness {
  Harness() {
    char pattern[] = "/tmp/lumirack-fuzz-XXXXXX";
    dir = ::mkdtemp(pattern);
    SetDataDirectory(dir);
    static testing::RefusedPort refused;
    Session().serviceHost = refused.HostPort();
    Session().bkn = "193485963";
    SetUi(&ui);
    monitor = ui.Load(MonitorWindowDefinition(), false);
    std::atexit([] {
      std::error_code error;
      std::filesystem::remove_all(Get().dir, error);
    });
  }
  static Harness& Get() {
    static Harness harness;
    return harness;
  }

  std::filesystem::path dir;
  HeadlessToolkit ui;
  Window* monitor = nullptr;
};

bool EndsWith(const Text& text, const Text& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Harness& h = Harness::Get();
  Window& w = *h.monitor;
  const auto f = fuzz::Fields(data, size, 7);
  w.SetText(monitor::kQuestionBox, f[1]);
  w.SetText(monitor::kGroupBox, f[2]);
  w.SetText(monitor::kBlacklistBox, f[3]);
  w.SetText(monitor::kWhitelistBox, f[4]);
  w.SetText(monitor::kAnswerBox, f[5]);
  w.SetText(monitor::kReasonBox, f[6]);
  w.SetText(monitor::kResultsBox, {});

  SessionState& s = Session();
  ExtractAllBetween(Utf8ToAnsi(f[0]), Gbk(texts::kBlockLeft), Gbk(texts::kBlockRight),
                    s.messageBlocks);
  if (s.messageBlocks.empty()) return 0;
  HandleFirstMessage(w);

  const Text line = w.GetText(monitor::kResultsBox);
  if (s.quitNotice) {
    fuzz::Require(EndsWith(line, s.currentGroup + "\r\n"));
  } else if (!f[2].empty() && f[2] != s.currentGroup) {
    fuzz::Require(line.empty());
  } else {
    fuzz::Require(EndsWith(line, Gbk(texts::kFailed) + "\r\n"));
  }
  return 0;
}
