#include <windows.h>

#include "base/thread_priority.h"

namespace zk {
void SetCurrentThreadLowestPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST); }
}  // namespace zk
