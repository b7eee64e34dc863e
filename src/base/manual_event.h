// Manual-reset event: stays signalled until Reset(), so every later test sees it.
// Used as the stop event of the pipeline workers; safe to use from any thread.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace zk {

class ManualResetEvent {
public:
    ManualResetEvent() = default;
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void Set();
    void Reset();
    // Zero time-out test.
    [[nodiscard]] bool IsSet() const;
    // Waits up to `timeout`; true when the event is (or becomes) signalled.
    bool WaitFor(std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex m_mutex;  // guards m_signalled
    mutable std::condition_variable m_cv;
    bool m_signalled = false;
};

// Sleeps `total` in periods of at most `period`, testing `stop` before each; true when stopped.
bool PauseUnlessStopped(const ManualResetEvent& stop, std::chrono::milliseconds total,
                        std::chrono::milliseconds period = std::chrono::milliseconds(100));

}  // namespace zk
