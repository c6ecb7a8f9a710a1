#pragma once

#include "ui/window.h"

namespace lumirack {

// Fill the monitor window's six boxes from the profile saved last, and save them into the profile
// of the group number now entered. Neither reports a failure; a failed file operation is skipped.
void LoadProfile(Window& monitor);
void SaveProfile(Window& monitor);

}  // namespace lumirack
