#include "base/zk_thread.h"

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
    {
        std::lock_guard lock(m_endMutex);
        m_running = false;
    }
    m_ended.notify_all();
}

bool CZKThread::WaitForEnd(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_endMutex);
    return m_ended.wait_for(lock, timeout, [this] { return !m_running.load(); });
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
    m_wake.Raise();
    Join();
}

bool CZKFlagThread::RestUnlessStopped(std::chrono::milliseconds timeout) {
    if (!m_stop) m_wake.Wait(timeout);
    return m_stop;
}

bool CZKEventThread::Start() {
    if (m_running) return false;
    m_stopEvent.Reset();
    return Launch(m_lowest);
}

void CZKEventThread::StopAndWait() {
    m_stopEvent.Set();
    Join();
}

}  // namespace zk
