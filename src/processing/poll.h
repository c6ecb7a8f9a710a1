#pragma once

#include "ui/window.h"

namespace lumirack {

// One poll of the group system messages: fetch, cut into blocks, and handle the first block.
// The monitor window's boxes are read at the moment of use; results lines go to its results box.
void PollOnce(Window& monitor);

// Reads the first message block into the session's current fields, logs a quit notice, skips a
// message of another group, and otherwise decides it.
void HandleFirstMessage(Window& monitor);

}  // namespace lumirack
