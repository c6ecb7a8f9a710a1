#pragma once

#include "support/text.h"
#include "ui/window.h"

namespace lumirack {

// Whether `uin` followed by CR LF occurs in the list text. Nothing need precede it, so 12345 on
// a list also lists 2345, 345, 45 and 5: that is how the lists have always matched.
bool IsListed(const Text& list, const Text& uin);

// Decide the current message: blacklist, then whitelist, then the expected answer. Each sends
// one decision and appends one results line to the monitor window's results box.
void ApplyListRules(Window& monitor);
void ApplyAnswerRule(Window& monitor);

}  // namespace lumirack
