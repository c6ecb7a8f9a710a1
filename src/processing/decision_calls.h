#pragma once

#include "support/text.h"
#include "ui/window.h"

namespace lumirack {

// The form bodies of the decision call, from the session's current message and token. Values
// from the service's markup are inserted as they are, except bytes that would end or break a form
// field ("&", "=", "%", "+", "#", space, control bytes), which go percent-encoded.
Text ApprovalBody();
Text RejectionBody(const Text& encodedReason);

// Send the decision on the current message; "成功" when the service answered exactly {"ec":0},
// "失败" otherwise (GBK). RejectRequest reads the reason box of `monitor` at the moment of the
// call.
Text ApproveRequest();
Text RejectRequest(Window& monitor);

// The full address of a path on the group message service host chosen at start-up.
Text ServiceUrl(std::string_view pathAndQuery);

}  // namespace lumirack
