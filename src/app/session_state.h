#pragma once

// The one process-wide record that the windows and the processing share. Every field starts
// zeroed; only the start-up sequence touches the hosts.

#include <memory>
#include <mutex>
#include <string>

#include "support/text.h"

namespace lumirack {

struct SessionState {
  Text cookies;            // the login's cookie string, kept current by every request
  Text bkn;                // the token derived from skey at login, in decimal
  int pollIntervalMs = 0;  // the last interval confirmed in the frequency dialog
  int pollCount = 0;       // ticks since the last Start
  std::unique_ptr<std::recursive_mutex> pollLock;  // created by the monitor window, never freed
  TextList messageBlocks;                          // the blocks of the last reply
  Text currentSeq;  // the message being handled; kept until the next one is read
  Text currentUin;
  Text currentGroup;
  Text currentAnswer;
  bool quitNotice = false;

  // Chosen at start-up: HOST[:PORT] of the web-login page and of the group message service.
  std::string loginHost = "xui.ptlogin2.qq.com";
  std::string serviceHost = "qun.qq.com";
};

// The single instance.
SessionState& Session();

}  // namespace lumirack
