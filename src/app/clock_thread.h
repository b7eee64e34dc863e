// The clock thread: at every change of the calendar day it rotates the journal and asks for a
// new authentication; every `interval` minute changes it asks for one too. Its stop flag ends
// it at once.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>

#include "base/clock.h"
#include "base/zk_thread.h"

namespace zk {

class CAuditThread : public CZKFlagThread {
public:
    struct Hooks {
        std::function<void()> rotateJournal;
        std::function<void()> requestReauthentication;
        std::function<int()> authInterval;  // minutes
        std::function<void()> everyCycle;   // about once a second (a pause that ends at its time)
    };

    CAuditThread(const IClock& clock, Hooks hooks) : m_clock(clock), m_hooks(std::move(hooks)) {}
    ~CAuditThread() override { StopAndWait(); }

    // Start time and the remembered day and minute.
    void Begin();
    // One cycle: running time, day change, minute change.
    void Cycle();

    [[nodiscard]] int MinuteCounter() const { return m_minuteCounter.load(); }
    // Seconds since Begin(), 0 when the clock went back before it.
    [[nodiscard]] int64_t RunningSeconds() const { return m_runningSeconds.load(); }

protected:
    unsigned ThreadBody() override;

private:
    const IClock& m_clock;
    Hooks m_hooks;
    int64_t m_start = 0;
    int m_day = 0, m_minute = 0;
    bool m_dayLatch = false, m_minuteLatch = false;
    std::atomic<int> m_minuteCounter{0};
    std::atomic<int64_t> m_runningSeconds{0};
};

}  // namespace zk
