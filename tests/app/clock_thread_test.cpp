#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "app/clock_thread.h"
#include "support/fake_clock.h"
#include "support/test_util.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {
struct Counters {
    std::atomic<int> rotations{0}, reauths{0};
    std::atomic<int> interval{60};
    CAuditThread::Hooks Hooks() {
        return {[this] { ++rotations; }, [this] { ++reauths; }, [this] { return interval.load(); }, {}};
    }
};
}  // namespace

TEST(ClockThread, MinuteChangesCountAgainstTheInterval) {
    test::FakeClock clock(test::FakeClock::At(2026, 12, 6, 10, 0, 30));
    Counters c;
    c.interval = 60;
    CAuditThread t(clock, c.Hooks());
    t.Begin();
    for (int minute = 1; minute <= 130; ++minute) {
        // Several cycles a minute: a minute is counted once.
        for (int s = 0; s < 3; ++s) {
            clock.Advance(20);
            t.Cycle();
        }
    }
    EXPECT_EQ(c.reauths.load(), 2) << "once every 60 minute changes";
    EXPECT_EQ(t.MinuteCounter(), 10);
    EXPECT_EQ(c.rotations.load(), 0);
    EXPECT_EQ(t.RunningSeconds(), 130 * 60);
}

TEST(ClockThread, DayChangeRotatesAndReauthenticates) {
    test::FakeClock clock(test::FakeClock::At(2026, 12, 6, 23, 59, 58));
    Counters c;
    c.interval = 600;
    CAuditThread t(clock, c.Hooks());
    t.Begin();
    t.Cycle();
    EXPECT_EQ(c.rotations.load(), 0);
    clock.Advance(3);  // 00:00:01 of the 7th
    t.Cycle();
    t.Cycle();
    EXPECT_EQ(c.rotations.load(), 1);
    EXPECT_EQ(c.reauths.load(), 1);
    // A clock set back before the start gives a running time of 0.
    clock.Set(test::FakeClock::At(2026, 12, 1));
    t.Cycle();
    EXPECT_EQ(t.RunningSeconds(), 0);
}

TEST(ClockThread, StopEndsTheSecondsWaitInsteadOfWaitingItOut) {
    test::FakeClock clock(test::FakeClock::At(2026, 12, 6));
    Counters c;
    CAuditThread t(clock, c.Hooks());
    ASSERT_TRUE(t.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return t.IsRunning(); }));
    std::this_thread::sleep_for(100ms);  // inside the one-second wait after the first cycle
    const auto t0 = std::chrono::steady_clock::now();
    t.StopAndWait();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 800ms) << "the wait had 900 ms left";
    EXPECT_FALSE(t.IsRunning());
}
