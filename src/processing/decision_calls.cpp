#include "processing/decision_calls.h"

#include "app/session_state.h"
#include "monitor/monitor_controls.h"
#include "support/charset.h"
#include "support/http.h"
#include "support/texts.h"

namespace lumirack {
namespace {

constexpr std::string_view kDecisionPath = "/cgi-bin/sys_msg/set_msgstate";
constexpr std::string_view kTaken = "{\"ec\":0}";

bool BreaksFormField(unsigned char b) {
  return b < 0x20 || b == 0x7F || b == '&' || b == '=' || b == '%' || b == '+' || b == '#' ||
         b == ' ';
}

// Real values are digits and go unchanged; a hostile value cannot add or end a field.
Text FormValue(const Text& value) { return PercentEscape(value, BreaksFormField); }

Text Send(const Text& body) {
  SessionState& s = Session();
  const Bytes reply = HttpRequest(ServiceUrl(kDecisionPath), 1, body, &s.cookies);
  static const Text kSucceeded = Gbk(texts::kSucceeded);
  static const Text kFailed = Gbk(texts::kFailed);
  return TextFromBytes(reply) == kTaken ? kSucceeded : kFailed;
}

}  // namespace

Text ServiceUrl(std::string_view pathAndQuery) {
  return "http://" + Session().serviceHost + Text(pathAndQuery);
}

Text ApprovalBody() {
  const SessionState& s = Session();
  return "seq=" + FormValue(s.currentSeq) + "&t=1&gc=" + FormValue(s.currentGroup) +
         "&cmd=1&uin=" + FormValue(s.currentUin) + "&ver=5521&from=2&bkn=" + s.bkn;
}

Text RejectionBody(const Text& encodedReason) {
  const SessionState& s = Session();
  return "seq=" + FormValue(s.currentSeq) + "&t=1&gc=" + FormValue(s.currentGroup) +
         "&cmd=2&uin=" + FormValue(s.currentUin) + "&msg=" + encodedReason +
         "&flag=0&ver=5521&from=2&bkn=" + s.bkn;
}

Text ApproveRequest() { return Send(ApprovalBody()); }

Text RejectRequest(Window& monitor) {
  const Text reason = monitor.GetText(monitor::kReasonBox);
  return Send(RejectionBody(PercentEncode(reason, false, true)));
}

}  // namespace lumirack
