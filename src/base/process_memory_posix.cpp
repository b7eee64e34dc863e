#include <cstdio>

#include "base/process_memory.h"

namespace zk {

double ResidentMegabytes() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return -1;
    const bool ok = std::fscanf(f, "%ld %ld", &pages, &resident) == 2;
    std::fclose(f);
    return ok ? static_cast<double>(resident) * 4096.0 / (1024.0 * 1024.0) : -1;
}

}  // namespace zk
