#include "ui/window.h"

namespace lumirack {
namespace {
Toolkit* current = nullptr;
}  // namespace

Toolkit& Ui() { return *current; }
void SetUi(Toolkit* toolkit) { current = toolkit; }

}  // namespace lumirack
