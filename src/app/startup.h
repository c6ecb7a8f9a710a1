#pragma once

// The start-up sequence: from the toolkit to the first window, the loop, and the exit clean-up.

#include "ui/window.h"

namespace lumirack {

// Makes `ui` the program's toolkit, creates the empty message-block list, registers the exit
// clean-up (once per process), loads the login window, runs the loop until the last window has
// gone and then runs the clean-up. Returns the loop's result.
int RunProgram(Toolkit& ui);

// Releases the session's texts and message blocks; leaves the poll lock, which lives as long as
// the process. Safe to run more than once.
void ExitCleanUp();

}  // namespace lumirack
