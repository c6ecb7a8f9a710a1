#include "processing/decision_rules.h"

#include "app/session_state.h"
#include "monitor/monitor_controls.h"
#include "processing/decision_calls.h"
#include "support/charset.h"
#include "support/texts.h"

namespace lumirack {
namespace {

// One results line: the decision's piece, the applicant, the group and the service's word.
void AppendResult(Window& monitor, std::string_view decision, const Text& word) {
  static const Text kJoining = Gbk(texts::kJoiningGroup);
  const SessionState& s = Session();
  monitor.AppendText(monitor::kResultsBox,
                     Gbk(decision) + s.currentUin + kJoining + s.currentGroup + word + "\r\n");
}

}  // namespace

bool IsListed(const Text& list, const Text& uin) { return FindText(list, uin + "\r\n") != -1; }

void ApplyListRules(Window& monitor) {
  const Text& uin = Session().currentUin;
  if (IsListed(monitor.GetText(monitor::kBlacklistBox), uin)) {
    const Text word = RejectRequest(monitor);
    AppendResult(monitor, texts::kRejectBlacklisted, word);
    return;
  }
  const Text whitelist = monitor.GetText(monitor::kWhitelistBox);
  if (whitelist.empty() || IsListed(whitelist, uin)) {
    ApplyAnswerRule(monitor);
    return;
  }
  const Text word = RejectRequest(monitor);
  AppendResult(monitor, texts::kRejectNotWhitelisted, word);
}

void ApplyAnswerRule(Window& monitor) {
  const Text expected = monitor.GetText(monitor::kAnswerBox);
  if (expected.empty() || Session().currentAnswer == expected) {
    const Text word = ApproveRequest();
    AppendResult(monitor, texts::kApproved, word);
    return;
  }
  const Text word = RejectRequest(monitor);
  AppendResult(monitor, texts::kRejectWrongAnswer, word);
}

}  // namespace lumirack
