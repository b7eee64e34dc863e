// The tray menu's pause items: "Приостановить отправку" with its four lengths, "Возобновить
// отправку" while paused and "Отправить сейчас"; when a pause chosen now ends, and how a pause
// is said in the tip and the journal.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "base/local_time.h"

namespace zk {

enum class PauseChoice { kQuarterHour, kHour, kUntilMorning, kUntilResumed };

// Beside the folder items' identifiers, far above any page index.
inline constexpr unsigned kMenuPauseFirst = 0xE101;  // the four choices in their order
inline constexpr unsigned kMenuResume = 0xE105;
inline constexpr unsigned kMenuSendNow = 0xE106;
inline constexpr wchar_t kPauseMenuText[] = L"Приостановить отправку";
inline constexpr wchar_t kResumeMenuText[] = L"Возобновить отправку";
inline constexpr wchar_t kSendNowMenuText[] = L"Отправить сейчас";

// The end of a pause that has none: it lasts until it is ended.
inline constexpr int64_t kPausedUntilResumed = -1;
// The hour "до завтра" ends at.
inline constexpr int kMorningHour = 6;

[[nodiscard]] std::optional<PauseChoice> PauseChoiceOf(unsigned menuId);
[[nodiscard]] unsigned MenuIdOf(PauseChoice choice);
[[nodiscard]] std::wstring MenuTextOf(PauseChoice choice);
// When a pause chosen at `now` (seconds since 1970; `local`, its local time) ends: in 15 minutes,
// in an hour, at the next 06:00, or kPausedUntilResumed.
[[nodiscard]] int64_t PauseEnd(PauseChoice choice, int64_t now, const LocalTime& local);
// "Отправка приостановлена до 15:30" (`end`, the pause's end in local time), or "... до
// возобновления".
[[nodiscard]] std::wstring PausedText(bool untilResumed, const LocalTime& end);

}  // namespace zk
