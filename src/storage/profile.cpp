#include "storage/profile.h"

namespace lumirack {

void LoadProfile(Window&) {}
void SaveProfile(Window&) {}

}  // namespace lumirack
