// The calling process's resident memory (benchmarks and soak figures).
#pragma once

namespace zk {

// Megabytes of the working set (Windows) or the resident set (natively).
double ResidentMegabytes();

}  // namespace zk
