#include "base/manual_event.h"

namespace zk {

void ManualResetEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_signalled = true;
    }
    m_cv.notify_all();
}

void ManualResetEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_signalled = false;
}

bool ManualResetEvent::IsSet() const {
    std::lock_guard lock(m_mutex);
    return m_signalled;
}

bool ManualResetEvent::WaitFor(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [this] { return m_signalled; });
}

bool PauseUnlessStopped(const ManualResetEvent& stop, std::chrono::milliseconds total,
                        std::chrono::milliseconds period) {
    auto left = total;
    while (left.count() > 0) {
        if (stop.IsSet()) return true;
        const auto step = left < period ? left : period;
        if (stop.WaitFor(step)) return true;
        left -= step;
    }
    return stop.IsSet();
}

}  // namespace zk
