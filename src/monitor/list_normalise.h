#pragma once

// Start relies on every entry of a list box, the last one included, being followed by CR LF.

#include <string_view>

#include "support/text.h"
#include "ui/window.h"

namespace lumirack {

// The list text with CR LF put directly after the last entry, at the real end of the last line:
// trailing spaces of that line move to a new last line after it. A text that is empty, ends with
// CR LF, or ends with a line of spaces comes back unchanged. No entry is split, changed or
// dropped, however long the line or the list and whatever the earlier entries hold.
Text NormaliseList(const Text& list);

// Normalises the list box in place; a box that needs no change is not written.
void NormaliseListBox(Window& window, std::string_view box);

}  // namespace lumirack
