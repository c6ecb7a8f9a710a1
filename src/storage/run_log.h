#pragma once

#include "ui/window.h"

namespace lumirack {

// Writes the results box to a run log named by the current local time; nothing when it is empty.
void SaveRunLog(Window& monitor);

}  // namespace lumirack
