#pragma once

// One row of a window's control table, as the definitions transcribe them.

#include <string_view>

#include "ui/window.h"

namespace lumirack {

inline ControlDef ControlRow(ControlKind kind, std::string_view name, int x, int y, int width,
                             int height, std::string_view content = {}) {
  ControlDef c;
  c.kind = kind;
  c.name = name;
  c.x = x;
  c.y = y;
  c.width = width;
  c.height = height;
  c.content = content;
  return c;
}

}  // namespace lumirack
