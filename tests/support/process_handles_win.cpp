#include <windows.h>

#include "support/process_handles.h"

namespace zk::test {
int ProcessHandleCount() {
    DWORD n = 0;
    GetProcessHandleCount(GetCurrentProcess(), &n);
    return static_cast<int>(n);
}
}  // namespace zk::test
