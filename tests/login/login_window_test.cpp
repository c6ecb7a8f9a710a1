#include "login/login_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/session_state.h"
#include "storage/data_dir.h"
#include "support/charset.h"
#include "support/texts.h"
#include "ui/headless.h"

namespace lumirack {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBrowser = "超文本浏览框1";

TEST(LoginAddress, NamesBothHosts) {
  EXPECT_EQ(LoginAddress("xui.ptlogin2.qq.com", "qun.qq.com"),
            "http://xui.ptlogin2.qq.com/cgi-bin/xlogin?appid=715030901&daid=73&pt_no_auth=1"
            "&s_url=https%3A%2F%2Fqun.qq.com%2F");
  EXPECT_EQ(LoginAddress("127.0.0.1:8080", "127.0.0.1:9090"),
            "http://127.0.0.1:8080/cgi-bin/xlogin?appid=715030901&daid=73&pt_no_auth=1"
            "&s_url=https%3A%2F%2F127.0.0.1:9090%2F");
}

class LoginWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Session() = SessionState{};
    Session().loginHost = "127.0.0.1:1";
    Session().serviceHost = "127.0.0.1:2";
    address = LoginAddress(Session().loginHost, Session().serviceHost);
    SetUi(&ui);
    SetMonitorLoader([this] { ++monitorLoads; });
    login = static_cast<HeadlessWindow*>(ui.Load(LoginWindowDefinition(), false));
    ASSERT_NE(login, nullptr);
  }
  void TearDown() override {
    EXPECT_TRUE(ui.unknownControls().empty());
    SetMonitorLoader({});
    SetUi(nullptr);
  }

  HeadlessToolkit ui;
  HeadlessWindow* login = nullptr;
  std::string address;
  int monitorLoads = 0;
};

TEST_F(LoginWindowTest, WatchesTheLoginAddressEveryHundredMilliseconds) {
  EXPECT_EQ(login->Location(kBrowser), address);
  EXPECT_EQ(login->TimerPeriod("时钟1"), 100);
  ui.SetCookie(*login, kBrowser, "skey=abc; ");
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(ui.Fire(*login, "时钟1"));
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(Session().cookies, "");
  EXPECT_EQ(Session().bkn, "");
  EXPECT_EQ(monitorLoads, 0);
  EXPECT_EQ(ui.Find("LoginWindow"), login);
}

TEST_F(LoginWindowTest, LeavingTheLoginAddressTakesTheSession) {
  struct Case {
    const char* name;
    std::function<std::string(const std::string&)> location;
    Text cookies;
    Text bkn;
  };
  auto upper = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  const Case cases[] = {
      {"redirect target", [](const std::string&) { return "http://127.0.0.1:2/"; },
       "uin=o10001; skey=abc; p_uin=o10001", "193485963"},
      {"differs only in case", upper, "skey=abc; ", "193485963"},
      {"empty address", [](const std::string&) { return ""; }, "skey=abc; ", "193485963"},
      {"skey last gives the empty token", [](const std::string&) { return "x"; },
       "uin=o10001; skey=abc", "5381"},
      {"no skey", [](const std::string&) { return "x"; }, "uin=o10001", "5381"},
      {"first skey= counts inside a longer name", [](const std::string&) { return "x"; },
       "pt_skey=abc; skey=other; uin=1", "193485963"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Session() = SessionState{};
    monitorLoads = 0;
    ui.ClearMessages();
    if (HeadlessWindow* earlier = ui.Find("LoginWindow")) ui.Escape(*earlier);
    login = static_cast<HeadlessWindow*>(ui.Load(LoginWindowDefinition(), false));
    // The timer is stopped before the box, and the monitor window comes only after it.
    ui.OnMessage([&](const Text&) {
      EXPECT_EQ(login->TimerPeriod("时钟1"), 0);
      EXPECT_EQ(monitorLoads, 0);
    });
    ui.SetCookie(*login, kBrowser, c.cookies);
    ui.SetLocation(*login, kBrowser, c.location(login->Location(kBrowser)));
    ASSERT_TRUE(ui.Fire(*login, "时钟1"));
    EXPECT_EQ(Session().cookies, c.cookies);
    EXPECT_EQ(Session().bkn, c.bkn);
    EXPECT_EQ(ui.messages(), std::vector<Text>{Gbk(texts::kLoginSucceeded)});
    EXPECT_EQ(monitorLoads, 1);
    EXPECT_EQ(ui.Find("LoginWindow"), nullptr);
    ui.OnMessage({});
  }
}

TEST(LoginWindowHandover, OpensTheMonitorWindowShowingTheToken) {
  const fs::path dir =
      fs::temp_directory_path() / ("login_window_test_" + std::to_string(getpid()));
  fs::create_directories(dir);
  SetDataDirectory(dir);
  Session() = SessionState{};
  HeadlessToolkit ui;
  SetUi(&ui);
  auto* login = static_cast<HeadlessWindow*>(ui.Load(LoginWindowDefinition(), false));
  ui.SetCookie(*login, kBrowser, "skey=abc; uin=o1");
  ui.SetLocation(*login, kBrowser, "http://qun.qq.com/");
  ui.Fire(*login, "时钟1");

  EXPECT_EQ(ui.Find("LoginWindow"), nullptr);
  HeadlessWindow* monitor = ui.Find("MonitorWindow");
  ASSERT_NE(monitor, nullptr);
  EXPECT_EQ(monitor->GetText("透明标签1"), Gbk("BKN：193485963"));
  EXPECT_EQ(ui.WindowCount(), 1u);
  EXPECT_TRUE(ui.unknownControls().empty());

  SetUi(nullptr);
  SetDataDirectory(std::nullopt);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace lumirack
