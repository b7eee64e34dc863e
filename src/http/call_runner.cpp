// The call runner: see call_runner.h for the threads and the hand-over.
#include "http/call_runner.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "base/value_wait.h"

namespace zk {
namespace {
using namespace std::chrono_literals;

// A hand-over of a short call (a write that the socket takes at once) is over in microseconds;
// a sleep and a wake-up cost tens of them under Wine. So each side first looks again for a
// while, yielding the processor between looks, before it sleeps.
constexpr int kLooksBeforeSleep = 64;

// Whether `word` has moved away from `from` within the looks.
bool MovedSoon(const std::atomic<uint32_t>& word, uint32_t from) {
    for (int i = 0; i < kLooksBeforeSleep; ++i) {
        if (word.load(std::memory_order_acquire) != from) return true;
        std::this_thread::yield();
    }
    return false;
}
}  // namespace

HttpCallRunner::HttpCallRunner() = default;

HttpCallRunner::~HttpCallRunner() {
    if (m_worker.slot) {
        m_worker.slot->state.store(kQuit, std::memory_order_release);
        WakeWaiters(m_worker.slot->state);
        m_worker.thread.join();
    }
    Reap();
    // Still in their calls: they own what they use and end with them.
    for (Worker& w : m_retired) w.thread.detach();
}

void HttpCallRunner::WorkerBody(std::shared_ptr<Shared> shared, std::shared_ptr<Slot> slot) {
    for (;;) {
        uint32_t s = slot->state.load(std::memory_order_acquire);
        while (s == kIdle || s == kDone) {
            if (!MovedSoon(slot->state, s)) WaitWhileEquals(slot->state, s, 1h);
            s = slot->state.load(std::memory_order_acquire);
        }
        if (s == kQuit) break;
        std::exception_ptr error;
        try {
            slot->body();
        } catch (...) {
            error = std::current_exception();
        }
        slot->body = nullptr;  // what the call owned goes here, before the caller goes on
        slot->error = std::move(error);  // no reference left here once the caller has it
        uint32_t posted = kPosted;
        if (slot->state.compare_exchange_strong(posted, kDone, std::memory_order_acq_rel)) {
            WakeWaiters(slot->state);
            continue;
        }
        shared->stuck.fetch_sub(1);  // given up: the thread ends with its call
        break;
    }
    slot->ended.store(true, std::memory_order_release);
}

void HttpCallRunner::Reap() {
    std::erase_if(m_retired, [](Worker& w) {
        if (!w.slot->ended.load(std::memory_order_acquire)) return false;
        w.thread.join();
        return true;
    });
}

void HttpCallRunner::Post(std::function<void()> body) {
    if (m_shared->interrupted) {
        m_posted = Posted::Refused;
        return;
    }
    Reap();
    if (!m_worker.slot) {
        bool started = m_shared->stuck.load() < kMaxStuck;
        if (started) {
            try {
                auto slot = std::make_shared<Slot>();
                m_worker.thread = std::thread(&HttpCallRunner::WorkerBody, m_shared, slot);
                m_worker.slot = std::move(slot);
            } catch (const std::system_error&) {
                started = false;
            }
        }
        if (!started) {  // no thread to give it to: on this one, as without a runner
            m_posted = Posted::Inline;
            try {
                body();
            } catch (...) {
                m_inlineError = std::current_exception();
            }
            return;
        }
    }
    Slot& slot = *m_worker.slot;
    slot.body = std::move(body);
    slot.state.store(kPosted, std::memory_order_release);
    WakeWaiters(slot.state);
    m_posted = Posted::Worker;
}

bool HttpCallRunner::Wait(Clock::time_point due, Clock::time_point slowAt, const std::function<void()>& onSlow) {
    switch (std::exchange(m_posted, Posted::None)) {
        case Posted::None: return true;
        case Posted::Refused: return false;
        case Posted::Inline:
            if (const std::exception_ptr error = std::exchange(m_inlineError, nullptr)) std::rethrow_exception(error);
            return true;
        case Posted::Worker: break;
    }
    if (!onSlow) slowAt = Clock::time_point::max();
    Slot& slot = *m_worker.slot;
    for (;;) {
        if (slot.state.load(std::memory_order_acquire) == kDone) {
            slot.state.store(kIdle, std::memory_order_relaxed);
            if (const std::exception_ptr error = std::exchange(slot.error, nullptr)) std::rethrow_exception(error);
            return true;
        }
        const auto now = Clock::now();
        if (now >= slowAt) {
            onSlow();
            slowAt = Clock::time_point::max();
        }
        if (now >= due || m_shared->interrupted) {
            m_shared->stuck.fetch_add(1);
            uint32_t posted = kPosted;
            if (slot.state.compare_exchange_strong(posted, kAbandoned, std::memory_order_acq_rel)) break;
            m_shared->stuck.fetch_sub(1);  // it was done just now
            continue;
        }
        if (MovedSoon(slot.state, kPosted)) continue;
        // Short waits: an interrupt is seen within one.
        const auto next = std::min(due, slowAt);
        WaitWhileEquals(slot.state, kPosted, std::min<std::chrono::milliseconds>(std::chrono::ceil<std::chrono::milliseconds>(next - now), 100ms));
    }
    Retire();
    return false;
}

void HttpCallRunner::Retire() {
    // The worker ends with its call; the next call gets a new one.
    m_retired.push_back(std::move(m_worker));
    m_worker = Worker{};
}

bool HttpCallRunner::WaitForStuck(Clock::time_point until) {
    while (m_shared->stuck.load() > 0 && Clock::now() < until) std::this_thread::sleep_for(10ms);
    Reap();
    return m_shared->stuck.load() == 0;
}

}  // namespace zk
