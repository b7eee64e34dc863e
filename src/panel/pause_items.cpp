#include "panel/pause_items.h"

namespace zk {

std::optional<PauseChoice> PauseChoiceOf(unsigned menuId) {
    if (menuId < kMenuPauseFirst || menuId > kMenuPauseFirst + 3) return std::nullopt;
    return static_cast<PauseChoice>(menuId - kMenuPauseFirst);
}

unsigned MenuIdOf(PauseChoice choice) { return kMenuPauseFirst + static_cast<unsigned>(choice); }

std::wstring MenuTextOf(PauseChoice choice) {
    switch (choice) {
        case PauseChoice::kQuarterHour: return L"на 15 минут";
        case PauseChoice::kHour: return L"на 1 час";
        case PauseChoice::kUntilMorning: return L"до завтра";
        case PauseChoice::kUntilResumed: return L"до возобновления";
    }
    return L"";
}

int64_t PauseEnd(PauseChoice choice, int64_t now, const LocalTime& local) {
    switch (choice) {
        case PauseChoice::kQuarterHour: return now + 15 * 60;
        case PauseChoice::kHour: return now + 60 * 60;
        case PauseChoice::kUntilMorning: {
            // The next 06:00 on the clock: this morning's when the night is not over yet.
            const int64_t ofDay = local.hour * 3600 + local.minute * 60 + local.second;
            const int64_t morning = kMorningHour * 3600;
            return now + (ofDay < morning ? morning - ofDay : 86400 - ofDay + morning);
        }
        case PauseChoice::kUntilResumed: return kPausedUntilResumed;
    }
    return kPausedUntilResumed;
}

std::wstring PausedText(bool untilResumed, const LocalTime& end) {
    if (untilResumed) return L"Отправка приостановлена до возобновления";
    return L"Отправка приостановлена до " + HourMinute(end);
}

}  // namespace zk
