// Manual-reset event: stays signalled until Reset(), so every later test sees it.
// Used as the stop event of the pipeline workers; safe to use from any thread.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/wake_signal.h"

namespace zk {

class ManualResetEvent {
public:
    ManualResetEvent() = default;
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void Set();
    void Reset();
    // Zero time-out test; no lock (the workers test it at every step).
    [[nodiscard]] bool IsSet() const { return m_set.load(std::memory_order_acquire); }
    // Waits up to `timeout`; true when the event is (or becomes) signalled.
    bool WaitFor(std::chrono::milliseconds timeout) const;
    // Also raised by Set(): a worker that sleeps on its wake-up signal wakes for the stop too.
    void Attach(WakeSignal* wake) { m_wake = wake; }

private:
    mutable std::mutex m_mutex;  // guards m_signalled
    mutable std::condition_variable m_cv;
    bool m_signalled = false;
    std::atomic<bool> m_set{false};  // m_signalled for lock-free tests
    std::atomic<WakeSignal*> m_wake{nullptr};
};

// Sleeps up to `total` in one wait that the stop event ends; true when stopped.
bool PauseUnlessStopped(const ManualResetEvent& stop, std::chrono::milliseconds total);

}  // namespace zk
