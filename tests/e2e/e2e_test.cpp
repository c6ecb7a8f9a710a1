// The program end to end on the Qt backend, offscreen: the real login page in the browser
// against the stand-in service, then the monitor window polling every 50 ms and deciding a
// scripted set of messages, then Stop and the run log written on closing.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/session_state.h"
#include "common/temp_dir.h"
#include "login/login_window.h"
#include "monitor/monitor_controls.h"
#include "qt_wait.h"
#include "sim/sim_server.h"
#include "storage/data_dir.h"
#include "support/charset.h"
#include "support/texts.h"
#include "ui/qt/browser.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_window.h"

namespace lumirack {
namespace {

using testing_support::WaitUntil;

constexpr int kPageWaitMs = 20000;
constexpr int kPollWaitMs = 10000;
constexpr std::string_view kGroup = "300001";

// Runs a script on the page and waits for its result.
std::optional<QVariant> Evaluate(QWebEnginePage* page, const QString& script) {
  std::optional<QVariant> result;
  page->runJavaScript(script, [&](const QVariant& value) { result = value; });
  if (!WaitUntil([&] { return result.has_value(); }, kPageWaitMs)) return std::nullopt;
  return result;
}

bool Click(QtWindow& window, std::string_view button) {
  auto* b = qobject_cast<QPushButton*>(window.Control(button));
  if (b == nullptr || !b->isEnabled()) return false;
  b->click();
  return true;
}

std::size_t MessageFetches(const sim::SimServer& sim) {
  std::size_t n = 0;
  for (const sim::RecordedRequest& r : sim.Requests()) {
    if (r.target.rfind("/cgi-bin/sys_msg/getmsg", 0) == 0) ++n;
  }
  return n;
}

sim::Message Request(std::string seq, std::string uin, std::string answer,
                     std::string group = std::string(kGroup)) {
  sim::Message m;
  m.seq = std::move(seq);
  m.uin = std::move(uin);
  m.group = std::move(group);
  m.question = "暗号";
  m.answer = std::move(answer);
  return m;
}

// One results line as the program writes it, in GBK.
Text Line(std::string_view decision, std::string_view uin) {
  return Gbk(decision) + Text(uin) + Gbk(texts::kJoiningGroup) + Text(kGroup) +
         Gbk(texts::kSucceeded) + "\r\n";
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(data_);
    SetDataDirectory(data_);
    ASSERT_TRUE(sim_.Start(0)) << sim_.LastError();
    Session() = SessionState{};
    Session().loginHost = sim_.HostPort();
    Session().serviceHost = sim_.HostPort();
    SetUi(&toolkit_);
    toolkit_.SetMessageHook([this](const Text& text) { messages_.push_back(text); });
    SetMonitorLoader({});
  }
  void TearDown() override {
    SetUi(nullptr);
    sim_.Stop();
    SetDataDirectory(std::nullopt);
  }

  testing::TempDir sandbox_;
  std::filesystem::path data_ = sandbox_.path() / "data";
  sim::SimServer sim_;
  QtToolkit toolkit_;
  std::vector<Text> messages_;
};

TEST_F(EndToEnd, SignsInPollsDecidesAndLogsEachMessage) {
  // Sign in on the login page as a user would: fill in the form and press its button.
  QPointer<QtWindow> login = static_cast<QtWindow*>(toolkit_.Load(LoginWindowDefinition(), false));
  ASSERT_TRUE(login);
  auto* browser = qobject_cast<Browser*>(login->Control("超文本浏览框1"));
  ASSERT_NE(browser, nullptr);
  ASSERT_TRUE(WaitUntil(
      [&] {
        if (!browser->page()) return false;
        const std::optional<QVariant> ready =
            Evaluate(browser->page(), "document.readyState == 'complete' && !!document.forms[0]");
        return ready && ready->toBool();
      },
      kPageWaitMs));
  ASSERT_TRUE(Evaluate(browser->page(),
                       "document.getElementById('u').value = '10001';"
                       "document.getElementById('p').value = 'pw';"
                       "document.getElementById('login_button').click(); true"));
  ASSERT_TRUE(
      WaitUntil([&] { return toolkit_.Find("MonitorWindow") && login.isNull(); }, kPageWaitMs));
  EXPECT_EQ(messages_, std::vector<Text>{Gbk(texts::kLoginSucceeded)});
  QPointer<QtWindow> monitor = toolkit_.Find("MonitorWindow");

  monitor->SetText(monitor::kGroupBox, Text(kGroup));
  monitor->SetText(monitor::kQuestionBox, Gbk("暗号"));
  monitor->SetText(monitor::kAnswerBox, Gbk("芝麻开门"));
  monitor->SetText(monitor::kReasonBox, Gbk("不符合要求"));
  // No line end after the last entries: Start adds it, and the rules need it.
  monitor->SetText(monitor::kBlacklistBox, "20002\r\n60006");
  monitor->SetText(monitor::kWhitelistBox, "20002\r\n30003\r\n40004");

  // Newest first, so handled in this order, one per tick: each decision removes its message.
  sim_.SetMessages({
      Request("901", "20002", "芝麻开门"),  // blacklisted, though also on the whitelist
      Request("902", "50005", "芝麻开门"),  // not on the whitelist
      Request("903", "30003", "芝麻关门"),  // wrong answer
      Request("904", "40004", "芝麻开门"),  // approved
  });

  // Start asks for the interval in the modal dialog; answer it as typed, and never let a
  // missing dialog hold the test.
  bool answered = false;
  QTimer answer;
  answer.setInterval(10);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    QtWindow* dialog = toolkit_.Find("FrequencyDialog");
    if (dialog == nullptr || answered) return;
    answered = true;
    QTest::keyClicks(qobject_cast<QLineEdit*>(dialog->Control("编辑框频率")), "50");
    Click(*dialog, "按钮1");
  });
  answer.start();
  QTimer giveUp;
  giveUp.setSingleShot(true);
  QObject::connect(&giveUp, &QTimer::timeout, [&] {
    if (QtWindow* dialog = toolkit_.Find("FrequencyDialog")) dialog->close();
  });
  giveUp.start(kPollWaitMs);
  ASSERT_TRUE(Click(*monitor, "按钮1"));
  answer.stop();
  giveUp.stop();
  ASSERT_TRUE(answered);
  ASSERT_EQ(Session().pollIntervalMs, 50);
  ASSERT_EQ(monitor->TimerPeriod("时钟1"), 50);

  ASSERT_TRUE(WaitUntil([&] { return sim_.Decisions().size() == 4; }, kPollWaitMs));

  // A message of another group stays first and is skipped on every tick without a trace.
  const std::size_t fetched = MessageFetches(sim_);
  sim::Message elsewhere = Request("905", "40004", "芝麻开门", "399999");
  sim_.SetMessages({elsewhere});
  ASSERT_TRUE(WaitUntil([&] { return MessageFetches(sim_) >= fetched + 3; }, kPollWaitMs));

  // A quit notice is logged, even of a blacklisted member, and sends nothing.
  sim::Message quit;
  quit.seq = "906";
  quit.uin = "60006";
  quit.group = std::string(kGroup);
  quit.quit = true;
  sim_.SetMessages({quit});
  const Text quitLine =
      Gbk(texts::kQuitLineStart) + "60006" + Gbk(texts::kQuitLineGroup) + Text(kGroup) + "\r\n";
  ASSERT_TRUE(
      WaitUntil([&] { return FindText(monitor->GetText(monitor::kResultsBox), quitLine) != -1; },
                kPollWaitMs));
  // No tick runs between the check above and the click: both are on the window thread.
  ASSERT_TRUE(Click(*monitor, "按钮2"));
  EXPECT_EQ(monitor->TimerPeriod("时钟1"), 0);
  EXPECT_EQ(messages_, (std::vector<Text>{Gbk(texts::kLoginSucceeded), Gbk(texts::kStopped)}));

  const Text expected =
      Line(texts::kRejectBlacklisted, "20002") + Line(texts::kRejectNotWhitelisted, "50005") +
      Line(texts::kRejectWrongAnswer, "30003") + Line(texts::kApproved, "40004") + quitLine;
  EXPECT_EQ(monitor->GetText(monitor::kResultsBox), expected);
  // 同意QQ：40004加入QQ群：300001成功 in GBK, pinned byte for byte.
  EXPECT_EQ(Line(texts::kApproved, "40004"),
            "\xCD\xAC\xD2\xE2QQ\xA3\xBA"
            "40004\xBC\xD3\xC8\xEBQQ\xC8\xBA\xA3\xBA"
            "300001\xB3\xC9\xB9\xA6\r\n");

  struct Expected {
    std::string seq, uin;
    int cmd;
    std::string reason;
  };
  const Expected decided[] = {
      {"901", "20002", 2, "不符合要求"},
      {"902", "50005", 2, "不符合要求"},
      {"903", "30003", 2, "不符合要求"},
      {"904", "40004", 1, ""},
  };
  const std::vector<sim::Decision> decisions = sim_.Decisions();
  ASSERT_EQ(decisions.size(), std::size(decided));
  for (std::size_t i = 0; i < decisions.size(); ++i) {
    EXPECT_EQ(decisions[i].seq, decided[i].seq) << i;
    EXPECT_EQ(decisions[i].uin, decided[i].uin) << i;
    EXPECT_EQ(decisions[i].group, kGroup) << i;
    EXPECT_EQ(decisions[i].cmd, decided[i].cmd) << i;
    EXPECT_EQ(decisions[i].reason, decided[i].reason) << i;
    EXPECT_EQ(decisions[i].ec, 0) << i;
  }

  // Stopped means no further fetch.
  const std::size_t afterStop = MessageFetches(sim_);
  QTest::qWait(200);
  EXPECT_EQ(MessageFetches(sim_), afterStop);
  ASSERT_EQ(sim_.Pending().size(), 1u);
  EXPECT_TRUE(sim_.Pending()[0].quit);

  // Closing writes the results box, byte for byte, to the run log.
  monitor->close();
  ASSERT_TRUE(WaitUntil([&] { return monitor.isNull(); }, kPollWaitMs));
  std::vector<std::filesystem::path> logs;
  for (const auto& entry : std::filesystem::directory_iterator(data_)) {
    if (entry.path().filename().string().rfind("运行记录", 0) == 0) logs.push_back(entry.path());
  }
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(testing::ReadBytes(logs[0]), expected);
}

}  // namespace
}  // namespace lumirack
