#include "app/session_state.h"

namespace lumirack {

SessionState& Session() {
  static SessionState state;
  return state;
}

}  // namespace lumirack
