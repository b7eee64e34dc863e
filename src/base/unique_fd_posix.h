// Owner of a POSIX file descriptor (native build only).
#pragma once
#include <unistd.h>

#include "base/unique_handle.h"

namespace zk {

inline void CloseFd(int fd) { ::close(fd); }
using UniqueFd = UniqueHandle<int, &CloseFd, -1>;

}  // namespace zk
