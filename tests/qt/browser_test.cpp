#include "ui/qt/browser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QVariant>
#include <QWebEnginePage>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/session_state.h"
#include "login/bkn.h"
#include "login/login_window.h"
#include "qt_wait.h"
#include "sim/sim_server.h"
#include "support/charset.h"
#include "support/text.h"
#include "support/texts.h"
#include "ui/qt/qt_toolkit.h"
#include "ui/qt/qt_window.h"
#include "ui/qt/text_bridge.h"

namespace lumirack {
namespace {

using testing_support::WaitUntil;

constexpr int kPageWaitMs = 20000;

// Runs a script on the page and waits for its result.
std::optional<QVariant> Evaluate(QWebEnginePage* page, const QString& script) {
  std::optional<QVariant> result;
  page->runJavaScript(script, [&](const QVariant& value) { result = value; });
  if (!WaitUntil([&] { return result.has_value(); }, kPageWaitMs)) return std::nullopt;
  return result;
}

// The engine starts once the control has been shown; then the page loads.
bool WaitForLoginForm(const Browser& browser) {
  return WaitUntil(
      [&] {
        if (!browser.page()) return false;
        std::optional<QVariant> ready = Evaluate(
            browser.page(), "document.readyState == 'complete' && !!document.getElementById('u')");
        return ready && ready->toBool();
      },
      kPageWaitMs);
}

const char kSignInScript[] =
    "document.getElementById('u').value = '10001';"
    "document.getElementById('p').value = 'secret';"
    "document.getElementById('loginform').submit(); true";

std::vector<std::string> CookieNames(const Text& cookies) {
  std::vector<std::string> names;
  for (const Text& piece : SplitText(cookies, "; "))
    names.push_back(piece.substr(0, piece.find('=')));
  return names;
}

class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim_.Start(0)); }
  void TearDown() override { sim_.Stop(); }

  sim::SimServer sim_;
};

TEST_F(BrowserTest, AnswersWhatThePageItselfSeesAndStaysSilent) {
  Browser browser;
  browser.resize(544, 344);
  browser.show();
  const QString login = QString::fromStdString(sim_.LoginUrl());
  browser.Open(login);
  EXPECT_EQ(browser.Location(), sim_.LoginUrl());  // at once, before the page has loaded
  ASSERT_TRUE(WaitForLoginForm(browser));

  // The page's own boxes neither block nor show: they come back as dismissed.
  std::optional<QVariant> boxes =
      Evaluate(browser.page(), "alert('x'); [confirm('y'), prompt('z', 'w')].join(',')");
  ASSERT_TRUE(boxes);
  EXPECT_EQ(boxes->toString().toStdString(), "false,")
      << "confirm and prompt answered as cancelled";

  ASSERT_TRUE(Evaluate(browser.page(), kSignInScript));
  ASSERT_TRUE(WaitUntil([&] { return browser.Location() != sim_.LoginUrl(); }, kPageWaitMs));
  ASSERT_TRUE(WaitUntil([&] { return browser.page()->url().path() == "/"; }, kPageWaitMs));
  std::optional<QVariant> pageCookie = Evaluate(browser.page(), "document.cookie");
  ASSERT_TRUE(pageCookie);
  const Text seen = FromQString(pageCookie->toString());
  EXPECT_NE(seen, "");
  EXPECT_EQ(browser.Cookie(), seen);
  EXPECT_EQ(browser.Location(), "http://" + sim_.HostPort() + "/");
}

// The whole login against the stand-in: the browser signs in, the watch takes the cookies and
// the token, says so and opens the monitor window.
TEST_F(BrowserTest, LoginStoresTheSessionAndOpensTheMonitorWindow) {
  Session() = SessionState{};
  Session().loginHost = sim_.HostPort();
  Session().serviceHost = sim_.HostPort();
  QtToolkit toolkit;
  SetUi(&toolkit);
  std::vector<Text> messages;
  toolkit.SetMessageHook([&](const Text& text) { messages.push_back(text); });
  SetMonitorLoader({});

  QPointer<QtWindow> login = static_cast<QtWindow*>(toolkit.Load(LoginWindowDefinition(), false));
  ASSERT_TRUE(login);
  auto* browser = qobject_cast<Browser*>(login->Control("超文本浏览框1"));
  ASSERT_NE(browser, nullptr);
  ASSERT_TRUE(WaitForLoginForm(*browser));
  EXPECT_TRUE(messages.empty());  // on the login page the watch does nothing
  ASSERT_TRUE(Evaluate(browser->page(), kSignInScript));

  ASSERT_TRUE(
      WaitUntil([&] { return toolkit.Find("MonitorWindow") && login.isNull(); }, kPageWaitMs));
  const Text cookies = Session().cookies;
  EXPECT_EQ(CookieNames(cookies), (std::vector<std::string>{"uin", "skey", "RK", "ptcz"}));
  EXPECT_EQ(FindText(cookies, "uin=o10001; "), 1);
  const Text skey = TextBetween(cookies, "skey=", "; ");
  ASSERT_NE(skey, "");
  EXPECT_EQ(Session().bkn, ComputeBkn(skey));
  EXPECT_EQ(messages, std::vector<Text>{Gbk(texts::kLoginSucceeded)});
  EXPECT_EQ(toolkit.Find("MonitorWindow")->GetText("透明标签1"),
            Gbk(texts::kBknLabel) + Session().bkn);

  // The browser did hold the HttpOnly cookie: it sent it on the page after the login.
  bool sentHttpOnly = false;
  for (const sim::RecordedRequest& request : sim_.Requests()) {
    for (const auto& [name, value] : request.headers) {
      if (EqualsIgnoreAsciiCase(name, "Cookie") && value.find("p_skey=") != std::string::npos) {
        sentHttpOnly = true;
      }
    }
  }
  EXPECT_TRUE(sentHttpOnly);
  SetUi(nullptr);
}

}  // namespace
}  // namespace lumirack
