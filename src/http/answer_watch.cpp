#include "http/answer_watch.h"

#include "http/http_errors.h"
#include "http/http_platform.h"

namespace zk {

HttpAnswerWatch::HttpAnswerWatch(std::shared_ptr<HttpAbortGate> gate, HttpHandle internet, std::chrono::milliseconds limit)
    : m_gate(std::move(gate)), m_internet(internet) {
    m_thread = std::thread(&HttpAnswerWatch::Watch, this, std::chrono::steady_clock::now() + limit);
}

HttpAnswerWatch::~HttpAnswerWatch() {
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void HttpAnswerWatch::Watch(std::chrono::steady_clock::time_point due) {
    std::unique_lock lock(m_mutex);
    if (m_cv.wait_until(lock, due, [this] { return m_done; })) return;
    // Marked first: whatever the aborted call then returns is read as the time-out.
    m_expired = true;
    lock.unlock();
    m_gate->AbortRequest(m_internet);
}

void HttpAnswerWatch::Check(uint32_t code) const {
    if (Expired())
        throw httpclientexceptionW(L"The server's answer did not arrive complete in time.", code, net::TimeoutError());
}

}  // namespace zk
