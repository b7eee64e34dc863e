// The states of a task's file items. Who may touch an item follows from its task's state: while
// the task is taken by the splitter or the upload loop, only that worker changes its items;
// otherwise only the folder audit, under the registry's lock.
#pragma once
#include <cstdint>

namespace zk {

enum FileState : int32_t {
    kFileFailed = 0,    // the last upload or split failed
    kFileNew = 1,       // new, also a fresh chunk item
    kFileTooBig = 2,    // larger than the chunk size: to be split
    kFileInUse = 3,     // cannot be opened yet
    kFileReady = 4,     // complete, ready to be sent
    kFileSent = 5,      // accepted and deleted
};

}  // namespace zk
