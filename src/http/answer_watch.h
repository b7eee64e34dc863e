// The whole-request bound of one request: per-operation time-outs restart with every byte, so a
// server that trickles its answer would hold the request for ever. A watchdog aborts the request
// through its gate when the answer has not come complete in time.
// One watchdog thread serves every request of a client, one after another: it starts with the
// first watch and ends with the watchdog, since under Wine a thread's start and end cost about
// 5 ms, more than the upload of a small file.
// Threads: watches are made and ended by the thread that runs the requests; the watchdog thread
// only waits for the earliest due time and aborts. m_mutex guards the entries and m_quit; a
// watch's expired flag is set under it and read without it.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "http/request_handles.h"

namespace zk {

class HttpAnswerWatchdog {
public:
    using Clock = std::chrono::steady_clock;
    HttpAnswerWatchdog() = default;
    HttpAnswerWatchdog(const HttpAnswerWatchdog&) = delete;
    HttpAnswerWatchdog& operator=(const HttpAnswerWatchdog&) = delete;
    ~HttpAnswerWatchdog();

    // Aborts the request of `internet` through `gate` at `due`, first setting `expired`; the
    // id ends the watch.
    uint64_t Arm(std::shared_ptr<HttpAbortGate> gate, HttpHandle internet, Clock::time_point due, std::atomic<bool>& expired);
    // Ends the watch; an abort under way is waited for, so the request's handles may close after.
    void Disarm(uint64_t id);

private:
    struct Entry {
        uint64_t id;
        Clock::time_point due;
        std::shared_ptr<HttpAbortGate> gate;
        HttpHandle internet;
        std::atomic<bool>* expired;
        bool aborting = false;
    };
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Entry> m_entries;
    uint64_t m_nextId = 1;
    bool m_quit = false;
    std::thread m_thread;  // started by the first Arm
};

class HttpAnswerWatch {
public:
    // Starts counting `limit` now for the request whose internet handle is `internet`.
    HttpAnswerWatch(std::shared_ptr<HttpAnswerWatchdog> watchdog, std::shared_ptr<HttpAbortGate> gate, HttpHandle internet,
                    std::chrono::milliseconds limit);
    HttpAnswerWatch(const HttpAnswerWatch&) = delete;
    HttpAnswerWatch& operator=(const HttpAnswerWatch&) = delete;
    // Ends the watch; must run before the request's handles close.
    ~HttpAnswerWatch();

    // True once the bound has passed and the request was aborted.
    [[nodiscard]] bool Expired() const { return m_expired.load(); }
    // Raises the time-out (the platform's time-out error with `code`) once expired.
    void Check(uint32_t code) const;

private:
    std::shared_ptr<HttpAnswerWatchdog> m_watchdog;
    std::atomic<bool> m_expired{false};
    uint64_t m_id = 0;
};

}  // namespace zk
