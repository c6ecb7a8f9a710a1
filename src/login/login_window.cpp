#include "login/login_window.h"

#include <utility>

#include "app/session_state.h"
#include "login/bkn.h"
#include "monitor/monitor_window.h"
#include "support/charset.h"
#include "support/texts.h"

namespace lumirack {
namespace {

constexpr std::string_view kBrowser = "超文本浏览框1";
constexpr std::string_view kWatchTimer = "时钟1";
constexpr int kWatchPeriodMs = 100;

std::function<void()>& MonitorLoader() {
  static std::function<void()> loader;
  return loader;
}

void LoadMonitor() {
  if (MonitorLoader())
    MonitorLoader()();
  else
    Ui().Load(MonitorWindowDefinition(), false);
}

void Created(Window& window) { window.SetTimerPeriod(kWatchTimer, kWatchPeriodMs); }

// The browser has left the login page once its address differs, byte for byte, from the one it
// started at; that alone counts as a successful sign-in.
void Watch(Window& window, const Text& loginAddress) {
  if (window.Location(kBrowser) == loginAddress) return;
  SessionState& session = Session();
  session.cookies = window.Cookie(kBrowser);
  session.bkn = ComputeBkn(TextBetween(session.cookies, "skey=", "; "));
  // Stopped before the message box, whose nested loop would otherwise run the watch again.
  window.SetTimerPeriod(kWatchTimer, 0);
  Ui().ShowMessage(Gbk(texts::kLoginSucceeded));
  LoadMonitor();
  window.Destroy();
}

}  // namespace

std::string LoginAddress(const std::string& loginHost, const std::string& siteHost) {
  return "http://" + loginHost +
         "/cgi-bin/xlogin?appid=715030901&daid=73&pt_no_auth=1&s_url=https%3A%2F%2F" + siteHost +
         "%2F";
}

void SetMonitorLoader(std::function<void()> loader) { MonitorLoader() = std::move(loader); }

WindowDef LoginWindowDefinition() {
  const std::string address = LoginAddress(Session().loginHost, Session().serviceHost);

  WindowDef def;
  def.id = "LoginWindow";
  def.title = Text(texts::kLoginTitle) + Text(texts::kPublisherAddress);
  def.width = 547;
  def.height = 372;

  ControlDef browser;
  browser.kind = ControlKind::kBrowser;
  browser.name = kBrowser;
  browser.width = 544;
  browser.height = 344;
  browser.content = address;
  ControlDef timer;
  timer.kind = ControlKind::kTimer;
  timer.name = kWatchTimer;
  def.controls = {browser, timer};

  def.handlers[{"", Event::kCreated}] = Created;
  def.handlers[{std::string(kWatchTimer), Event::kTick}] = [address](Window& window) {
    Watch(window, address);
  };
  return def;
}

}  // namespace lumirack
