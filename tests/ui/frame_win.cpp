// The window object's frame under Wine: its steps driven one by one.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <thread>

#include "support/fake_clock.h"
#include "ui/zk_window_win.h"

using namespace zk;
using namespace std::chrono_literals;

TEST(Frame, FailedStartUpStopsTheClockBeforeTheAgentGoes) {
    test::FakeClock clock(test::FakeClock::At(2026, 12, 7, 10, 0, 30));
    const std::wstring agentClass = L"ZK_TEST_FRAME_" + std::to_wstring(GetCurrentProcessId());
    {
        CZKWindow window(clock);
        ASSERT_TRUE(window.BuildFrame(GetModuleHandleW(nullptr), agentClass));
        ASSERT_TRUE(window.ClockRunning());
        // Start-up failed at this point: no start-up, no message loop. The window object's
        // shutdown sequence runs; the clock thread must not outlive the agent it calls.
        window.ShutDown();
        EXPECT_FALSE(window.ClockRunning());
        clock.Advance(120);  // two minute changes and a counted interval reach the clock's hooks
        std::this_thread::sleep_for(2500ms);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\ZELTAVIO\\" + agentClass).c_str());
}
