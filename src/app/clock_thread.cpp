// The clock thread.
// Thread: CAuditThread's own thread runs Begin() and then Cycle() about once a second; the
// owner (main thread) sets the stop flag, which also ends the thread's wait, and waits for it. Day, minute and latches are this thread's
// alone; the minute counter and running time are atomics read by other threads.
#include "app/clock_thread.h"

#include <chrono>

namespace zk {

void CAuditThread::Begin() {
    m_start = m_clock.Now();
    const LocalTime t = m_clock.Local(m_start);
    m_day = t.day;
    m_minute = t.minute;
    m_dayLatch = m_minuteLatch = false;
}

void CAuditThread::Cycle() {
    const int64_t now = m_clock.Now();
    m_runningSeconds = now > m_start ? now - m_start : 0;
    const LocalTime t = m_clock.Local(now);
    if (t.day == m_day) {
        m_dayLatch = false;
    } else if (!m_dayLatch) {
        m_day = t.day;
        m_dayLatch = true;
        if (m_hooks.rotateJournal) m_hooks.rotateJournal();
        if (m_hooks.requestReauthentication) m_hooks.requestReauthentication();
    }
    if (t.minute == m_minute) {
        m_minuteLatch = false;
    } else if (!m_minuteLatch) {
        m_minute = t.minute;
        m_minuteLatch = true;
        const int interval = m_hooks.authInterval ? m_hooks.authInterval() : 60;
        if (++m_minuteCounter >= interval) {
            m_minuteCounter = 0;
            if (m_hooks.requestReauthentication) m_hooks.requestReauthentication();
        }
    }
    if (m_hooks.everyCycle) m_hooks.everyCycle();
}

// A cycle about every second; the stop ends the wait at once (one wait instead of ten polls).
unsigned CAuditThread::ThreadBody() {
    Begin();
    for (;;) {
        Cycle();
        if (RestUnlessStopped(std::chrono::seconds(1))) return 0;
    }
}

}  // namespace zk
