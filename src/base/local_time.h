// Local broken-down time of a calendar time (seconds since 1970).
#pragma once
#include <cstdint>
#include <cwchar>
#include <string>

namespace zk {

struct LocalTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

LocalTime ToLocalTime(int64_t secondsSince1970);
// "15:42".
inline std::wstring HourMinute(const LocalTime& t) {
    wchar_t text[8];
    std::swprintf(text, 8, L"%02d:%02d", t.hour % 100, t.minute % 100);
    return text;
}
int64_t NowSeconds();

}  // namespace zk
