#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "base/thread_priority.h"

namespace zk {
// On Linux a nice value applies to the single thread named by its id.
void SetCurrentThreadLowestPriority() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
}
}  // namespace zk
