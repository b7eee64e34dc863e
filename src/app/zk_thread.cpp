#include "app/zk_thread.h"

#include <system_error>

#include "base/thread_priority.h"

namespace zk {

CZKThread::~CZKThread() { Join(); }

void CZKThread::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

void CZKThread::Entry(bool lowestPriority) {
    if (lowestPriority) SetCurrentThreadLowestPriority();
    ThreadBody();
    m_running = false;
}

bool CZKThread::Launch(bool lowestPriority) {
    Join();
    m_running = true;
    try {
        m_thread = std::thread(&CZKThread::Entry, this, lowestPriority);
    } catch (const std::system_error&) {
        m_running = false;
        return false;
    }
    return true;
}

bool CZKFlagThread::Start() {
    m_stop = false;
    return Launch(false);
}

void CZKFlagThread::StopAndWait() {
    m_stop = true;
    Join();
}

bool CZKEventThread::Start() {
    if (m_running) return false;
    m_stopEvent.Reset();
    return Launch(m_lowest);
}

bool CZKEventThread::WaitForEnd(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_running) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void CZKEventThread::StopAndWait() {
    m_stopEvent.Set();
    Join();
}

}  // namespace zk
