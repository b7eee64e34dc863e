// The orders of the task registry as the queue page tells them: what each is waiting for, in
// arrival order.
// Threads: any thread; takes the registry's lock (and the current task's file-list lock under
// it) for the walk.
#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "panel/queue_rows.h"
#include "tasks/task_registry.h"

namespace zk {

struct QueueViewInput {
    std::wstring currentTask;  // the task being sent (its name), or empty
    bool paused = false;
    std::chrono::steady_clock::time_point now;
    // "15:42": the local time of a moment `fromNow` ahead.
    std::function<std::wstring(std::chrono::seconds fromNow)> clockIn;
};

// The first orders of the registry, as many as the page shows.
[[nodiscard]] std::vector<QueueOrder> QueueView(CZKRBTree& registry, const QueueViewInput& in);

}  // namespace zk
