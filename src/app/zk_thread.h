// Worker-thread base. A derived object runs its ThreadBody() on a thread of its own; the owner
// stops it either through a stop flag (clock and drop threads) or a manual-reset stop event
// (the pipeline workers), then waits for it without a time-out.
#pragma once
#include <atomic>
#include <thread>

#include "base/manual_event.h"

namespace zk {

class CZKThread {
public:
    CZKThread(const CZKThread&) = delete;
    CZKThread& operator=(const CZKThread&) = delete;
    // Waits for a thread that is still attached (the owner stops it first).
    virtual ~CZKThread();

    // Set from Start() until the body returns: a running object is not started again.
    [[nodiscard]] bool IsRunning() const { return m_running.load(); }

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
};

// Stopped through a flag that the body polls at least every 100 ms.
class CZKFlagThread : public CZKThread {
public:
    bool Start();
    // Sets the stop flag and waits for the body to return.
    void StopAndWait();
    [[nodiscard]] bool StopRequested() const { return m_stop.load(); }

protected:
    std::atomic<bool> m_stop{false};
};

// Stopped through a manual-reset event that the body tests without waiting.
class CZKEventThread : public CZKThread {
public:
    explicit CZKEventThread(bool lowestPriority = false) : m_lowest(lowestPriority) {}
    // Does nothing (false) while the body runs; otherwise resets the stop event and starts.
    bool Start();
    // Signals the stop event and waits for the body to return.
    void StopAndWait();
    // Waits up to `timeout` for the body to return; true when it has.
    bool WaitForEnd(std::chrono::milliseconds timeout) const;
    ManualResetEvent& StopEvent() { return m_stopEvent; }
    [[nodiscard]] bool ShouldStop() const { return m_stopEvent.IsSet(); }

private:
    bool m_lowest;
    ManualResetEvent m_stopEvent;
};

}  // namespace zk
