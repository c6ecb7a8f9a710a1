#pragma once

#include "ui/window.h"

namespace lumirack {

// One poll of the group system messages; the monitor window's boxes are read at the moment of use
// and the results lines are appended to its results box.
void PollOnce(Window& monitor);

}  // namespace lumirack
