#include "storage/run_log.h"

namespace lumirack {

void SaveRunLog(Window&) {}

}  // namespace lumirack
