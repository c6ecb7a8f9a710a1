#include "processing/poll.h"

namespace lumirack {

void PollOnce(Window&) {}

}  // namespace lumirack
