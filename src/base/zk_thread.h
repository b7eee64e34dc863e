// Worker-thread base. A derived object runs its ThreadBody() on a thread of its own; the owner
// stops it either through a stop flag (clock and drop threads) or a manual-reset stop event
// (the pipeline workers), then waits for it without a time-out.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/manual_event.h"
#include "base/wake_signal.h"

namespace zk {

class CZKThread {
public:
    CZKThread(const CZKThread&) = delete;
    CZKThread& operator=(const CZKThread&) = delete;
    // Waits for a thread that is still attached (the owner stops it first).
    virtual ~CZKThread();

    // Set from Start() until the body returns: a running object is not started again.
    [[nodiscard]] bool IsRunning() const { return m_running.load(); }
    // Waits up to `timeout` for the body to return; true when it has (or none runs).
    bool WaitForEnd(std::chrono::milliseconds timeout) const;

protected:
    CZKThread() = default;
    virtual unsigned ThreadBody() = 0;

    // Waits for the previous thread (if any), then starts a new one. False when the platform
    // cannot create it; the object then stays idle.
    bool Launch(bool lowestPriority);
    // Waits without a time-out; returns at once when no thread is attached or it has ended.
    void Join();

    std::atomic<bool> m_running{false};

private:
    void Entry(bool lowestPriority);
    std::thread m_thread;
    mutable std::mutex m_endMutex;  // orders the end of a body against WaitForEnd
    mutable std::condition_variable m_ended;
};

// Stopped through a flag; the body rests on a wake-up signal that the stop raises, so that a
// stop is seen at once, without polling.
class CZKFlagThread : public CZKThread {
public:
    bool Start();
    // Sets the stop flag and waits for the body to return.
    void StopAndWait();
    [[nodiscard]] bool StopRequested() const { return m_stop.load(); }

protected:
    // Rests up to `timeout`; true when the stop flag is set (at once when it is set meanwhile).
    bool RestUnlessStopped(std::chrono::milliseconds timeout);

    std::atomic<bool> m_stop{false};

private:
    WakeSignal m_wake;
};

// Stopped through a manual-reset event that the body tests without waiting. Between rounds of
// work the body rests on its wake-up signal, raised by whoever makes work for it and by the stop.
class CZKEventThread : public CZKThread {
public:
    explicit CZKEventThread(bool lowestPriority = false) : m_lowest(lowestPriority) { m_stopEvent.Attach(&m_wake); }
    // Does nothing (false) while the body runs; otherwise resets the stop event and starts.
    bool Start();
    // Signals the stop event and waits for the body to return.
    void StopAndWait();
    ManualResetEvent& StopEvent() { return m_stopEvent; }
    [[nodiscard]] bool ShouldStop() const { return m_stopEvent.IsSet(); }
    // Raised when there may be work (any thread).
    WakeSignal& Wake() { return m_wake; }
    // Rests until woken or `timeout`; true when the stop event is set.
    bool Rest(std::chrono::milliseconds timeout) {
        m_rests.fetch_add(1);
        if (!ShouldStop()) m_wake.Wait(timeout);
        return ShouldStop();
    }
    // Times the body began to rest or to pause: a worker with nothing to do is seen resting.
    [[nodiscard]] uint64_t Rests() const { return m_rests.load(); }
    // Counts a wait of the body's own (a pause after a failure) as a rest.
    void NotePause() { m_rests.fetch_add(1); }

private:
    std::atomic<uint64_t> m_rests{0};
    bool m_lowest;
    WakeSignal m_wake;
    ManualResetEvent m_stopEvent;
};

}  // namespace zk
