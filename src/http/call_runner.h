// Blocking platform calls of one client's requests (sending a request, writing its body, waiting
// for and reading its answer) run on a thread of the runner's own while the caller waits with a
// bound. A call that has not returned by its due time is given up: the caller goes on at once,
// and the call is left to end on the platform's own time-out on its thread, which then ends
// too. Under Wine, closing a request's handles does not end a thread blocked in a write or in
// the wait for an answer, so no caller may depend on that to get its thread back.
// What a given-up call still uses (its request's handles, its buffer) must be owned by the call
// itself (captured shared pointers), so that it outlives the caller's side of the request.
// Threads: Run is called by one thread at a time (the client's user); Interrupt from any thread.
// Each worker thread runs the calls handed to its slot. A slot's state word hands a call over
// and back (atomics with acquire and release, waited for on the platform's address wait:
// base/value_wait.h); whoever moves it from "posted" first decides whether a call that ends
// just at its due time counts as done or as given up. The retired workers are the caller's.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace zk {

class HttpCallRunner {
public:
    using Clock = std::chrono::steady_clock;
    // Calls given up and not yet returned, at most; beyond them a call runs on the caller's
    // thread, bounded by the platform's time-outs alone.
    static constexpr int kMaxStuck = 3;

    HttpCallRunner();
    HttpCallRunner(const HttpCallRunner&) = delete;
    HttpCallRunner& operator=(const HttpCallRunner&) = delete;
    // Ends the idle worker; calls still stuck are left to end on their own.
    ~HttpCallRunner();

    // Runs `call` and waits until it returns (its exception is rethrown here) or until `due`, or
    // an interrupt: then false, and the call goes on without the caller. Once `slowAt` has passed
    // with the call still running, `onSlow` is called (on the caller's thread) and the wait goes on.
    bool Run(std::function<void()> call, Clock::time_point due, Clock::time_point slowAt = Clock::time_point::max(),
             const std::function<void()>& onSlow = nullptr) {
        Post(std::move(call));
        return Wait(due, slowAt, onSlow);
    }
    // Any thread: the wait under way (within 0.1 s) and every later one end at once, until
    // ClearInterrupt().
    void Interrupt() { m_shared->interrupted = true; }
    void ClearInterrupt() { m_shared->interrupted = false; }
    // Waits until every given-up call has returned, or `until`; true when none is left.
    bool WaitForStuck(Clock::time_point until);
    [[nodiscard]] int Stuck() const { return m_shared->stuck.load(); }

private:
    enum : uint32_t { kIdle, kPosted, kDone, kAbandoned, kQuit };
    // One worker thread's hand-over. `body` and `error` belong to the caller while the state is
    // idle or done, to the worker while it is posted or abandoned.
    struct Slot {
        std::atomic<uint32_t> state{kIdle};
        std::function<void()> body;
        std::exception_ptr error;
        std::atomic<bool> ended{false};  // the worker thread is leaving
    };
    struct Shared {
        std::atomic<int> stuck{0};
        std::atomic<bool> interrupted{false};
    };
    struct Worker {
        std::shared_ptr<Slot> slot;
        std::thread thread;
    };
    static void WorkerBody(std::shared_ptr<Shared> shared, std::shared_ptr<Slot> slot);
    // Joins the retired workers whose calls have ended.
    void Reap();

    // Run in two halves: Post hands the call over, Wait waits for it.
    void Post(std::function<void()> call);
    bool Wait(Clock::time_point due, Clock::time_point slowAt, const std::function<void()>& onSlow);
    // The posted call's worker slot is given up: its worker ends with the call.
    void Retire();

    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    Worker m_worker;                // the worker that takes the next call
    std::vector<Worker> m_retired;  // workers whose calls were given up
    // What Post left for Wait: a call posted to the worker, or one run on the caller's thread
    // (with its fault), or one refused by an interrupt.
    enum class Posted { None, Worker, Inline, Refused } m_posted = Posted::None;
    std::exception_ptr m_inlineError;
};

}  // namespace zk
