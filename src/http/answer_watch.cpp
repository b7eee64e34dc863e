#include "http/answer_watch.h"

#include <algorithm>

#include "http/http_errors.h"
#include "http/http_platform.h"

namespace zk {

HttpAnswerWatchdog::~HttpAnswerWatchdog() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

uint64_t HttpAnswerWatchdog::Arm(std::shared_ptr<HttpAbortGate> gate, HttpHandle internet, Clock::time_point due,
                                 std::atomic<bool>& expired) {
    uint64_t id;
    {
        std::lock_guard lock(m_mutex);
        id = m_nextId++;
        m_entries.push_back({id, due, std::move(gate), internet, &expired});
        if (!m_thread.joinable()) m_thread = std::thread(&HttpAnswerWatchdog::Run, this);
    }
    m_cv.notify_all();
    return id;
}

void HttpAnswerWatchdog::Disarm(uint64_t id) {
    std::unique_lock lock(m_mutex);
    const auto of = [&] { return std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.id == id; }); };
    m_cv.wait(lock, [&] {
        const auto it = of();
        return it == m_entries.end() || !it->aborting;
    });
    if (const auto it = of(); it != m_entries.end()) m_entries.erase(it);
}

void HttpAnswerWatchdog::Run() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        auto next = m_entries.end();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
            if (!it->aborting && !it->expired->load() && (next == m_entries.end() || it->due < next->due)) next = it;
        if (next == m_entries.end()) {
            m_cv.wait(lock);
            continue;
        }
        if (const Clock::time_point due = next->due; Clock::now() < due) {
            m_cv.wait_until(lock, due);  // a copy: an Arm meanwhile may move the entries
            continue;
        }
        // Marked first: whatever the aborted call then returns is read as the time-out.
        next->expired->store(true);
        next->aborting = true;
        const uint64_t id = next->id;
        const std::shared_ptr<HttpAbortGate> gate = next->gate;
        const HttpHandle internet = next->internet;
        lock.unlock();
        gate->AbortRequest(internet);
        lock.lock();
        for (Entry& e : m_entries)
            if (e.id == id) e.aborting = false;
        m_cv.notify_all();  // a Disarm may wait for the abort
    }
}

HttpAnswerWatch::HttpAnswerWatch(std::shared_ptr<HttpAnswerWatchdog> watchdog, std::shared_ptr<HttpAbortGate> gate, HttpHandle internet,
                                 std::chrono::milliseconds limit)
    : m_watchdog(std::move(watchdog)) {
    m_id = m_watchdog->Arm(std::move(gate), internet, HttpAnswerWatchdog::Clock::now() + limit, m_expired);
}

HttpAnswerWatch::~HttpAnswerWatch() { m_watchdog->Disarm(m_id); }

void HttpAnswerWatch::Check(uint32_t code) const {
    if (Expired())
        throw httpclientexceptionW(L"The server's answer did not arrive complete in time.", code, net::TimeoutError());
}

}  // namespace zk
