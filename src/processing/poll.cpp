#include "processing/poll.h"

#include "app/session_state.h"
#include "monitor/monitor_controls.h"
#include "processing/decision_calls.h"
#include "processing/decision_rules.h"
#include "support/charset.h"
#include "support/http.h"
#include "support/regex_extract.h"
#include "support/texts.h"

namespace lumirack {
namespace {

constexpr std::string_view kMessagesPath = "/cgi-bin/sys_msg/getmsg?ver=5521&filter=2";

// The reply's markers in GBK, converted once.
struct Markers {
  Text blockLeft = Gbk(texts::kBlockLeft);
  Text blockRight = Gbk(texts::kBlockRight);
  Text seqLeft = Gbk(texts::kSeqLeft);
  Text seqRight = Gbk(texts::kSeqRight);
  Text uinLeft = Gbk(texts::kUinLeft);
  Text uinRight = Gbk(texts::kUinRight);
  Text groupLeft = Gbk(texts::kGroupLeft);
  Text groupRight = Gbk(texts::kGroupRight);
  Text answerLeft = Gbk(texts::kAnswerLeft);
  Text answerRight = Gbk(texts::kAnswerRight);
  Text questionAnswerLeft = Gbk(texts::kQuestionAnswerLeft);
  Text questionAnswerMiddle = Gbk(texts::kQuestionAnswerMiddle);
  Text quitMark = Gbk(texts::kQuitMark);
  Text quitLineStart = Gbk(texts::kQuitLineStart);
  Text quitLineGroup = Gbk(texts::kQuitLineGroup);
};

const Markers& TheMarkers() {
  static const Markers markers;
  return markers;
}

}  // namespace

void PollOnce(Window& monitor) {
  SessionState& s = Session();
  const Bytes reply = HttpRequest(ServiceUrl(kMessagesPath), 0, {}, &s.cookies);
  const Text text = Utf8ToAnsi(TextFromBytes(reply));
  const Markers& m = TheMarkers();
  ExtractAllBetween(text, m.blockLeft, m.blockRight, s.messageBlocks);
  if (!s.messageBlocks.empty()) HandleFirstMessage(monitor);
}

void HandleFirstMessage(Window& monitor) {
  SessionState& s = Session();
  const Markers& m = TheMarkers();
  const Text& block = s.messageBlocks.front();
  s.currentSeq = TextBetween(block, m.seqLeft, m.seqRight);
  s.currentUin = TextBetween(block, m.uinLeft, m.uinRight);
  s.currentGroup = TextBetween(block, m.groupLeft, m.groupRight);
  const Text question = monitor.GetText(monitor::kQuestionBox);
  if (!question.empty()) {
    s.currentAnswer =
        TextBetween(block, m.questionAnswerLeft + question + m.questionAnswerMiddle, m.answerRight);
  } else {
    s.currentAnswer = TextBetween(block, m.answerLeft, m.answerRight);
  }
  s.quitNotice = FindText(block, m.quitMark) != -1;

  if (s.quitNotice) {
    monitor.AppendText(monitor::kResultsBox,
                       m.quitLineStart + s.currentUin + m.quitLineGroup + s.currentGroup + "\r\n");
    return;
  }
  const Text group = monitor.GetText(monitor::kGroupBox);
  if (!group.empty() && group != s.currentGroup) return;
  ApplyListRules(monitor);
}

}  // namespace lumirack
