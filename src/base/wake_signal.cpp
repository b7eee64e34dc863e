#include "base/wake_signal.h"

namespace zk {

void WakeSignal::Raise() {
    {
        std::lock_guard lock(m_mutex);
        m_raised = true;
    }
    m_cv.notify_all();
}

bool WakeSignal::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    const bool raised = m_cv.wait_for(lock, timeout, [this] { return m_raised; });
    m_raised = false;
    return raised;
}

}  // namespace zk
