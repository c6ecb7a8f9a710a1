#pragma once

// The modal dialog that asks for the poll interval each time polling is started. Its one effect
// is SessionState::pollIntervalMs, written by OK; Esc leaves the previous value.

#include "support/text.h"
#include "ui/window.h"

namespace lumirack {

WindowDef FrequencyDialogDefinition();

// The leading integer of a text: full-width forms count as their ASCII forms, leading white
// space is skipped, then an optional sign and the digits up to the first non-digit; no digits
// give 0. A value beyond the 32-bit range is clamped to INT_MIN or INT_MAX.
int IntegerValue(const Text& text);

}  // namespace lumirack
