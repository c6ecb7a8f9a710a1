#include "monitor/monitor_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/session_state.h"
#include "common/refused_port.h"
#include "monitor/monitor_controls.h"
#include "storage/data_dir.h"
#include "support/charset.h"
#include "support/texts.h"
#include "ui/headless.h"

namespace lumirack {
namespace {

namespace fs = std::filesystem;

class MonitorWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Session() = SessionState{};
    Session().bkn = "193485963";
    Session().serviceHost = refusing_.HostPort();
    dir_ = fs::temp_directory_path() /
           ("monitor_window_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    SetDataDirectory(dir_);
    SetUi(&ui);
    monitor = static_cast<HeadlessWindow*>(ui.Load(MonitorWindowDefinition(), false));
    ASSERT_NE(monitor, nullptr);
  }
  void TearDown() override {
    EXPECT_TRUE(ui.unknownControls().empty());
    SetUi(nullptr);
    SetDataDirectory(std::nullopt);
    fs::remove_all(dir_);
  }

  // Presses Start; the dialog gets `answer` (typed, then OK) or, for nullopt, Esc.
  void Start(std::optional<Text> answer) {
    ui.OnNextModal([this, answer](HeadlessWindow& dialog) {
      if (!answer) return;
      ui.Paste(dialog, "编辑框频率", *answer);
      ui.Click(dialog, "按钮1");
    });
    ui.Click(*monitor, "按钮1");
  }
  bool Polling() const {
    return !monitor->IsEnabled("按钮1") && monitor->IsEnabled("按钮2") &&
           !monitor->IsEnabled(monitor::kBlacklistBox) &&
           !monitor->IsEnabled(monitor::kWhitelistBox);
  }
  bool Idle() const {
    return monitor->IsEnabled("按钮1") && !monitor->IsEnabled("按钮2") &&
           monitor->IsEnabled(monitor::kBlacklistBox) &&
           monitor->IsEnabled(monitor::kWhitelistBox) && monitor->TimerPeriod("时钟1") == 0 &&
           monitor->GetText("透明标签7") == Gbk(texts::kBlacklistLabel) &&
           monitor->GetText("透明标签8") == Gbk(texts::kWhitelistLabel);
  }
  std::vector<fs::path> RunLogs() const {
    std::vector<fs::path> logs;
    for (const auto& entry : fs::directory_iterator(dir_))
      if (entry.path().filename().string().starts_with(texts::kRunLogPrefix))
        logs.push_back(entry.path());
    return logs;
  }

  testing::RefusedPort refusing_;
  fs::path dir_;
  HeadlessToolkit ui;
  HeadlessWindow* monitor = nullptr;
};

TEST_F(MonitorWindowTest, CreatedShowsTheTokenAndMakesThePollLock) {
  EXPECT_EQ(monitor->GetText("透明标签1"), Gbk("BKN：193485963"));
  EXPECT_NE(Session().pollLock, nullptr);
  EXPECT_TRUE(Idle());
}

TEST_F(MonitorWindowTest, StartTakesTheDialogsValue) {
  struct Case {
    const char* name;
    int earlier;                // PollIntervalMs before Start
    std::optional<Text> typed;  // nullopt: the dialog is closed with Esc
    bool polling;
    int period;
  };
  const Case cases[] = {
      {"zero cancels", 0, "0", false, 0},
      {"interval polls", 0, "1000", true, 1000},
      {"full-width interval", 0, "\xA3\xB1\xA3\xB0\xA3\xB0\xA3\xB0", true, 1000},
      {"text without digits cancels", 7, "abc", false, 0},
      {"Esc with no earlier value", 0, std::nullopt, false, 0},
      {"Esc keeps the earlier value", 5000, std::nullopt, true, 5000},
      {"negative polls with the timer stopped", 0, "-100", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.Escape(*monitor);
    monitor = static_cast<HeadlessWindow*>(ui.Load(MonitorWindowDefinition(), false));
    Session().pollIntervalMs = c.earlier;
    Start(c.typed);
    EXPECT_EQ(Polling(), c.polling);
    if (!c.polling) {
      EXPECT_TRUE(Idle());
    }
    EXPECT_EQ(monitor->TimerPeriod("时钟1"), c.period);
    EXPECT_EQ(ui.Fire(*monitor, "时钟1"), c.period > 0);
    EXPECT_EQ(ui.Find("FrequencyDialog"), nullptr);
  }
}

TEST_F(MonitorWindowTest, EmptyDialogIsRefusedThenEscChangesNothing) {
  ui.OnNextModal([this](HeadlessWindow& dialog) { ui.Click(dialog, "按钮1"); });
  ui.Click(*monitor, "按钮1");
  EXPECT_EQ(ui.messages(), std::vector<Text>{Gbk(texts::kFillInFrequency)});
  EXPECT_TRUE(Idle());
}

TEST_F(MonitorWindowTest, StartNormalisesBothListsAndCountsTheirEntries) {
  monitor->SetText(monitor::kBlacklistBox, "111\r\n222");
  monitor->SetText(monitor::kWhitelistBox, "333\r\n");
  Start("1000");
  EXPECT_EQ(monitor->GetText(monitor::kBlacklistBox), "111\r\n222\r\n");
  EXPECT_EQ(monitor->GetText(monitor::kWhitelistBox), "333\r\n");
  EXPECT_EQ(monitor->GetText("透明标签7"), Gbk("黑名单：2个"));
  EXPECT_EQ(monitor->GetText("透明标签8"), Gbk("白名单：1个"));
}

TEST_F(MonitorWindowTest, EmptyListsCountZero) {
  Start("1000");
  EXPECT_EQ(monitor->GetText(monitor::kBlacklistBox), "");
  EXPECT_EQ(monitor->GetText("透明标签7"), Gbk("黑名单：0个"));
  EXPECT_EQ(monitor->GetText("透明标签8"), Gbk("白名单：0个"));
}

TEST_F(MonitorWindowTest, TicksCountFromEachStartAndStopLeavesTheCount) {
  monitor->SetText("透明标签4", "before");
  Start("1000");
  EXPECT_EQ(monitor->GetText("透明标签4"), "before");
  ASSERT_TRUE(ui.Fire(*monitor, "时钟1"));
  EXPECT_EQ(monitor->GetText("透明标签4"), Gbk("次数：1"));
  ASSERT_TRUE(ui.Fire(*monitor, "时钟1"));
  EXPECT_EQ(monitor->GetText("透明标签4"), Gbk("次数：2"));

  ASSERT_TRUE(ui.Click(*monitor, "按钮2"));
  EXPECT_EQ(ui.messages(), std::vector<Text>{Gbk(texts::kStopped)});
  EXPECT_TRUE(Idle());
  EXPECT_EQ(monitor->GetText("透明标签4"), Gbk("次数：2"));
  EXPECT_FALSE(ui.Fire(*monitor, "时钟1"));

  // A Start closed with Esc polls again at the confirmed interval, counting from 1.
  Start(std::nullopt);
  EXPECT_EQ(monitor->TimerPeriod("时钟1"), 1000);
  ASSERT_TRUE(ui.Fire(*monitor, "时钟1"));
  EXPECT_EQ(monitor->GetText("透明标签4"), Gbk("次数：1"));
}

TEST_F(MonitorWindowTest, StopStopsTheTimerBeforeItsMessage) {
  Start("1000");
  int periodDuringMessage = -1;
  ui.OnMessage([&](const Text&) { periodDuringMessage = monitor->TimerPeriod("时钟1"); });
  ui.Click(*monitor, "按钮2");
  EXPECT_EQ(periodDuringMessage, 0);
}

TEST_F(MonitorWindowTest, HelpShowsTheFourteenLines) {
  ASSERT_TRUE(ui.Press(*monitor, "超级链接框1"));
  ASSERT_EQ(ui.messages().size(), 1u);
  const Text& help = ui.messages()[0];
  EXPECT_EQ(help, Gbk(texts::kHelp));
  const TextList lines = SplitText(help, "\r\n");
  ASSERT_EQ(lines.size(), 14u);
  for (int empty : {3, 6, 9, 12}) EXPECT_EQ(lines[empty - 1], "") << "line " << empty;
  EXPECT_EQ(lines[0], Gbk("加群方式设置为需要验证消息方式："));
}

TEST_F(MonitorWindowTest, ClosingSavesTheProfileAndARunLogOnlyForResults) {
  monitor->SetText(monitor::kQuestionBox, Gbk("问"));
  ui.Escape(*monitor);
  EXPECT_EQ(ui.Find("MonitorWindow"), nullptr);
  EXPECT_TRUE(fs::exists(dir_ / texts::kSharedProfile / texts::kSettingsFile));
  EXPECT_TRUE(RunLogs().empty());

  monitor = static_cast<HeadlessWindow*>(ui.Load(MonitorWindowDefinition(), false));
  EXPECT_EQ(monitor->GetText(monitor::kQuestionBox), Gbk("问"));  // loaded on creation
  monitor->AppendText(monitor::kResultsBox, Gbk("同意QQ：1\r\n"));
  ui.DuringRun([this] { ui.Escape(*monitor); });
  EXPECT_EQ(ui.Run(), 0);
  EXPECT_EQ(ui.WindowCount(), 0u);
  EXPECT_EQ(RunLogs().size(), 1u);
}

}  // namespace
}  // namespace lumirack
