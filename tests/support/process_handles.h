// Open kernel handles (Windows) or file descriptors (natively) of this process, for leak checks.
#pragma once

namespace zk::test {
int ProcessHandleCount();
}
