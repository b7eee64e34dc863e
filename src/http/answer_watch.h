// The whole-request bound of one request: per-operation time-outs restart with every byte, so a
// server that trickles its answer would hold the request for ever. A watchdog thread aborts the
// request through its gate when the answer has not come complete in time.
// Threads: created and destroyed by the thread that runs the request; the watchdog only waits
// and aborts. m_mutex guards m_done; m_expired is read without it.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "http/request_handles.h"

namespace zk {

class HttpAnswerWatch {
public:
    // Starts counting `limit` now for the request whose internet handle is `internet`.
    HttpAnswerWatch(std::shared_ptr<HttpAbortGate> gate, HttpHandle internet, std::chrono::milliseconds limit);
    HttpAnswerWatch(const HttpAnswerWatch&) = delete;
    HttpAnswerWatch& operator=(const HttpAnswerWatch&) = delete;
    // Stops the watchdog; must run before the request's handles close.
    ~HttpAnswerWatch();

    // True once the bound has passed and the request was aborted.
    [[nodiscard]] bool Expired() const { return m_expired.load(); }
    // Raises the time-out (the platform's time-out error with `code`) once expired.
    void Check(uint32_t code) const;

private:
    void Watch(std::chrono::steady_clock::time_point due);

    std::shared_ptr<HttpAbortGate> m_gate;
    HttpHandle m_internet;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;
    std::atomic<bool> m_expired{false};
    std::thread m_thread;  // last: starts when the rest is ready
};

}  // namespace zk
