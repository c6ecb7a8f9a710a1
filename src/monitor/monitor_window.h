#pragma once

// The main window: the group, question, answer, reason and list boxes, Start and Stop, the poll
// timer and the results box. The processing reads the boxes through the control operations at
// the moment of use; nothing here keeps a copy of a box's text.

#include "ui/window.h"

namespace lumirack {

WindowDef MonitorWindowDefinition();

}  // namespace lumirack
