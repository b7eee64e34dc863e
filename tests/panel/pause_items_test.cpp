#include <gtest/gtest.h>

#include "panel/pause_items.h"

using namespace zk;

TEST(PauseItems, EachChoiceEndsWhereItsMenuTextSays) {
    const int64_t now = 1'800'000'000;
    const struct {
        PauseChoice choice;
        int hour, minute;
        int64_t after;  // seconds from now, or kPausedUntilResumed
    } cases[] = {
        {PauseChoice::kQuarterHour, 15, 10, 15 * 60},
        {PauseChoice::kHour, 23, 30, 3600},
        {PauseChoice::kUntilMorning, 15, 10, (24 - 15 + 6) * 3600 - 10 * 60},  // tomorrow's 06:00
        {PauseChoice::kUntilMorning, 2, 0, 4 * 3600},                          // before 06:00: this morning's
        {PauseChoice::kUntilMorning, 6, 0, 24 * 3600},                         // at 06:00: the next one
        {PauseChoice::kUntilResumed, 12, 0, kPausedUntilResumed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hour * 100 + c.minute);
        const int64_t end = PauseEnd(c.choice, now, LocalTime{2026, 12, 9, c.hour, c.minute, 0});
        EXPECT_EQ(end, c.after == kPausedUntilResumed ? kPausedUntilResumed : now + c.after);
        EXPECT_EQ(PauseChoiceOf(MenuIdOf(c.choice)), c.choice);
    }
    EXPECT_FALSE(PauseChoiceOf(kMenuResume)) << "resume is not a length";
    EXPECT_EQ(PausedText(false, LocalTime{2026, 12, 9, 15, 30, 0}), L"Отправка приостановлена до 15:30");
    EXPECT_EQ(PausedText(true, {}), L"Отправка приостановлена до возобновления");
}
