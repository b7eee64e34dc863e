// Blocking platform calls of one client's requests (sending a request, writing its body, waiting
// for and reading its answer) run on a thread of the runner's own while the caller waits with a
// bound. A call that has not returned by its due time is given up: the caller goes on at once,
// and the call is left to end on the platform's own time-out on its thread, which then ends
// too. Under Wine, closing a request's handles does not end a thread blocked in a write or in
// the wait for an answer, so no caller may depend on that to get its thread back.
// What a given-up call still uses (its request's handles, its buffer) must be owned by the call
// itself (captured shared pointers), so that it outlives the caller's side of the request.
// Threads: Run is called by one thread at a time (the client's user); Interrupt from any thread.
// The worker threads run the calls. m_shared->mutex guards every field of Shared and the slots.
#pragma once
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
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
    // an interrupt: then false, and the call goes on without the caller.
    bool Run(std::function<void()> call, Clock::time_point due);
    // Any thread: the wait under way and every later one end at once, until ClearInterrupt().
    void Interrupt();
    void ClearInterrupt();
    // Waits until every given-up call has returned, or `until`; true when none is left.
    bool WaitForStuck(Clock::time_point until);
    [[nodiscard]] int Stuck() const;

private:
    struct Call {
        std::function<void()> body;
        std::exception_ptr error;
        bool done = false;
    };
    // One worker thread: the call it runs, and whether it was given up (it then ends with it).
    struct Slot {
        std::shared_ptr<Call> call;
        bool retired = false;
        bool ended = false;
    };
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        int stuck = 0;
        bool interrupted = false;
        bool quit = false;
    };
    struct Worker {
        std::shared_ptr<Slot> slot;
        std::thread thread;
    };
    static void WorkerBody(std::shared_ptr<Shared> shared, std::shared_ptr<Slot> slot);
    // m_shared->mutex held: joins the given-up workers whose calls have ended.
    void ReapLocked(std::unique_lock<std::mutex>& lock);

    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    Worker m_worker;                 // the idle or busy worker that takes the next call
    std::vector<Worker> m_retired;   // workers whose calls were given up
};

}  // namespace zk
