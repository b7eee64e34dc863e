#include "base/clock.h"

#include "base/fsys.h"

namespace zk {
uint32_t SystemClock::TickCount() const { return TickCountMs(); }
}  // namespace zk
