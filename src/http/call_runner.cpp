// The call runner: see call_runner.h for the threads and what the mutex guards.
#include "http/call_runner.h"

#include <system_error>
#include <utility>

namespace zk {

HttpCallRunner::HttpCallRunner() = default;

HttpCallRunner::~HttpCallRunner() {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->quit = true;
    }
    m_shared->changed.notify_all();
    if (m_worker.thread.joinable()) m_worker.thread.join();
    std::unique_lock lock(m_shared->mutex);
    ReapLocked(lock);
    // Still in their calls: they own what they use and end with them.
    for (Worker& w : m_retired) w.thread.detach();
}

void HttpCallRunner::WorkerBody(std::shared_ptr<Shared> shared, std::shared_ptr<Slot> slot) {
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->changed.wait(lock, [&] { return slot->call || shared->quit; });
        if (!slot->call) return;  // the runner ends
        const std::shared_ptr<Call> call = slot->call;
        lock.unlock();
        std::exception_ptr error;
        try {
            call->body();
        } catch (...) {
            error = std::current_exception();
        }
        call->body = nullptr;  // what the call owned goes here, outside the lock
        lock.lock();
        call->error = error;
        call->done = true;
        slot->call.reset();
        shared->changed.notify_all();
        if (slot->retired) {
            --shared->stuck;
            slot->ended = true;
            return;
        }
    }
}

void HttpCallRunner::ReapLocked(std::unique_lock<std::mutex>&) {
    // An ended worker has left the lock for good: joining it under the lock cannot wait on us.
    for (auto it = m_retired.begin(); it != m_retired.end();) {
        if (!it->slot->ended) {
            ++it;
            continue;
        }
        it->thread.join();
        it = m_retired.erase(it);
    }
}

bool HttpCallRunner::Run(std::function<void()> body, Clock::time_point due) {
    auto call = std::make_shared<Call>();
    call->body = std::move(body);
    std::unique_lock lock(m_shared->mutex);
    if (m_shared->interrupted) return false;
    ReapLocked(lock);
    if (!m_worker.slot) {
        auto slot = std::make_shared<Slot>();
        bool started = m_shared->stuck < kMaxStuck;
        if (started) {
            try {
                m_worker.thread = std::thread(&HttpCallRunner::WorkerBody, m_shared, slot);
                m_worker.slot = std::move(slot);
            } catch (const std::system_error&) {
                started = false;
            }
        }
        if (!started) {  // no thread to give it to: on this one, as without a runner
            lock.unlock();
            call->body();
            return true;
        }
    }
    m_worker.slot->call = call;
    m_shared->changed.notify_all();
    m_shared->changed.wait_until(lock, due, [&] { return call->done || m_shared->interrupted; });
    if (call->done) {
        if (call->error) {
            const std::exception_ptr error = call->error;
            lock.unlock();
            std::rethrow_exception(error);
        }
        return true;
    }
    // Given up: the worker ends with its call; the next call gets a new one.
    m_worker.slot->retired = true;
    ++m_shared->stuck;
    m_retired.push_back(std::move(m_worker));
    m_worker = Worker{};
    return false;
}

void HttpCallRunner::Interrupt() {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->interrupted = true;
    }
    m_shared->changed.notify_all();
}

void HttpCallRunner::ClearInterrupt() {
    std::lock_guard lock(m_shared->mutex);
    m_shared->interrupted = false;
}

bool HttpCallRunner::WaitForStuck(Clock::time_point until) {
    std::unique_lock lock(m_shared->mutex);
    const bool none = m_shared->changed.wait_until(lock, until, [&] { return m_shared->stuck == 0; });
    ReapLocked(lock);
    return none;
}

int HttpCallRunner::Stuck() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->stuck;
}

}  // namespace zk
