// A sleeping worker's wake-up call. Any thread raises it; the worker's wait takes it (lowering
// it again) or runs out. A raise that comes while nobody waits is kept for the next wait, so a
// wake-up between the worker's look for work and its wait is never lost.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace zk {

class WakeSignal {
public:
    WakeSignal() = default;
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    void Raise();
    // True when the signal was raised (before or during the wait), false after `timeout`.
    bool Wait(std::chrono::milliseconds timeout);

private:
    std::mutex m_mutex;  // guards m_raised
    std::condition_variable m_cv;
    bool m_raised = false;
};

}  // namespace zk
