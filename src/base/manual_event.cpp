#include "base/manual_event.h"

namespace zk {

void ManualResetEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_signalled = true;
        m_set = true;
    }
    m_cv.notify_all();
    if (WakeSignal* wake = m_wake.load()) wake->Raise();
}

void ManualResetEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_signalled = false;
    m_set = false;
}

bool ManualResetEvent::WaitFor(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [this] { return m_signalled; });
}

bool PauseUnlessStopped(const ManualResetEvent& stop, std::chrono::milliseconds total) {
    return stop.IsSet() || stop.WaitFor(total);
}

}  // namespace zk
