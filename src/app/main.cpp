// The program: options, the demo service, the login in a process of its own, then the monitor
// window in this one.

#include <QApplication>
#include <cstdio>
#include <memory>
#include <string>

#include "app/options.h"
#include "app/session_state.h"
#include "app/startup.h"
#include "monitor/monitor_window.h"
#include "sim/sim_server.h"
#include "ui/qt/login_process.h"
#include "ui/qt/qt_toolkit.h"

namespace {

// New join requests arrive this often in the demo.
constexpr int kDemoArrivalMs = 4000;

int RunMonitor(int argc, char** argv, const lumirack::HandOver& login) {
  using namespace lumirack;
  // Widgets alone need no GL; without this the X11 GLX set-up loads the GL driver (with a
  // software one, some 50 MB) into a process that runs for hours.
  if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) qputenv("QT_XCB_GL_INTEGRATION", "none");
  PrepareQtEnvironment(false);
  QApplication app(argc, argv);
  QtToolkit ui;
  SetUi(&ui);
  Session().cookies = login.cookies;
  Session().bkn = login.bkn;
  Session().messageBlocks = TextList{};
  ui.Load(MonitorWindowDefinition(), false);
  const int result = ui.Run();
  ExitCleanUp();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace lumirack;
  if (IsLoginProcess(argc, argv)) return LoginProcessMain(argc, argv);

  std::string error;
  const std::optional<Options> options = ParseOptions(argc, argv, error);
  if (!options) {
    std::fprintf(stderr, "lumirack: %s\n%s", error.c_str(), UsageText().c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  Session().loginHost = options->loginHost;
  Session().serviceHost = options->serviceHost;

  std::unique_ptr<sim::SimServer> demo;
  if (options->demo) {
    sim::Options simOptions;
    simOptions.arrivalMs = kDemoArrivalMs;
    simOptions.seed = 7;
    demo = std::make_unique<sim::SimServer>(simOptions);
    if (!demo->Start(0)) {
      std::fprintf(stderr, "lumirack: the demo service could not start\n");
      return 1;
    }
    Session().loginHost = demo->HostPort();
    Session().serviceHost = demo->HostPort();
    std::fprintf(stderr, "lumirack: demo service at http://%s/\n", demo->HostPort().c_str());
  }

  bool failed = false;
  const std::optional<HandOver> login = RunLoginProcess(argv[0], &failed);
  if (!login) {
    if (!failed) return 0;  // the login window was closed
    std::fprintf(stderr, "lumirack: the login window could not run\n");
    return 1;
  }
  return RunMonitor(argc, argv, *login);
}
