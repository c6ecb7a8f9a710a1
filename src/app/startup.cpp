#include "app/startup.h"

#include <cstdlib>

#include "app/session_state.h"
#include "login/login_window.h"

namespace lumirack {

void ExitCleanUp() {
  SessionState& s = Session();
  s.cookies.clear();
  s.bkn.clear();
  s.messageBlocks.clear();
  s.currentSeq.clear();
  s.currentUin.clear();
  s.currentGroup.clear();
  s.currentAnswer.clear();
}

int RunProgram(Toolkit& ui) {
  SetUi(&ui);
  Session().messageBlocks = TextList{};
  // Also at a normal exit that leaves the loop some other way; the session exists before the
  // registration, so it is still alive when the clean-up runs.
  static const bool registered = std::atexit(ExitCleanUp) == 0;
  (void)registered;
  ui.Load(LoginWindowDefinition(), false);
  const int result = ui.Run();
  ExitCleanUp();
  return result;
}

}  // namespace lumirack
