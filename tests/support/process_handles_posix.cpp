#include <filesystem>

#include "support/process_handles.h"

namespace zk::test {
int ProcessHandleCount() {
    int n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec); !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++n;
    return n;
}
}  // namespace zk::test
