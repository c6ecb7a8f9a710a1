#include "app/startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "app/session_state.h"
#include "login/login_window.h"
#include "storage/data_dir.h"
#include "support/texts.h"
#include "ui/headless.h"

namespace lumirack {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBrowser = "超文本浏览框1";

class RunProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Session() = SessionState{};
    Session().loginHost = "127.0.0.1:1";
    Session().serviceHost = "127.0.0.1:2";
    dir_ = fs::temp_directory_path() /
           ("startup_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    SetDataDirectory(dir_);
  }
  void TearDown() override {
    EXPECT_TRUE(ui.unknownControls().empty());
    SetMonitorLoader({});
    SetUi(nullptr);
    SetDataDirectory(std::nullopt);
    fs::remove_all(dir_);
  }

  fs::path dir_;
  HeadlessToolkit ui;
};

TEST_F(RunProgramTest, ClosingTheLoginWindowEndsTheProgramWithNothingSet) {
  int monitorLoads = 0;
  SetMonitorLoader([&] { ++monitorLoads; });
  bool ran = false;
  ui.DuringRun([&] {
    HeadlessWindow* login = ui.Find("LoginWindow");
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(&Ui(), &ui);
    EXPECT_EQ(login->Location(kBrowser), LoginAddress("127.0.0.1:1", "127.0.0.1:2"));
    ui.Escape(*login);
    EXPECT_EQ(Session().cookies, "");
    EXPECT_EQ(Session().bkn, "");
    ran = true;
  });
  ui.DuringRun([] { ADD_FAILURE() << "the loop went on after the last window"; });
  EXPECT_EQ(RunProgram(ui), 0);
  EXPECT_TRUE(ran);
  EXPECT_EQ(monitorLoads, 0);
  EXPECT_TRUE(fs::is_empty(dir_));  // no profile, no run log
}

TEST_F(RunProgramTest, LoginThenClosingTheMonitorEndsTheLoopAndCleansUp) {
  ui.DuringRun([&] {
    HeadlessWindow* login = ui.Find("LoginWindow");
    ui.SetCookie(*login, kBrowser, "skey=abc; uin=o1");
    ui.SetLocation(*login, kBrowser, "http://127.0.0.1:2/");
    ASSERT_TRUE(ui.Fire(*login, "时钟1"));
  });
  ui.DuringRun([&] {
    HeadlessWindow* monitor = ui.Find("MonitorWindow");
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(ui.WindowCount(), 1u);
    EXPECT_EQ(Session().bkn, "193485963");
    Session().messageBlocks = {"block"};
    Session().currentUin = "10001";
    ui.Escape(*monitor);
  });
  EXPECT_EQ(RunProgram(ui), 0);
  EXPECT_EQ(ui.WindowCount(), 0u);
  EXPECT_TRUE(fs::exists(dir_ / texts::kSharedProfile / texts::kSettingsFile));
  // The exit clean-up releases the texts and the blocks but keeps the poll lock.
  EXPECT_EQ(Session().cookies, "");
  EXPECT_EQ(Session().bkn, "");
  EXPECT_TRUE(Session().messageBlocks.empty());
  EXPECT_EQ(Session().currentUin, "");
  EXPECT_NE(Session().pollLock, nullptr);
}

}  // namespace
}  // namespace lumirack
