// Lowers the priority of the calling thread to the platform's lowest normal value.
#pragma once

namespace zk {
void SetCurrentThreadLowestPriority();
}
