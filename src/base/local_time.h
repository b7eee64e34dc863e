// Local broken-down time of a calendar time (seconds since 1970).
#pragma once
#include <cstdint>

namespace zk {

struct LocalTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

LocalTime ToLocalTime(int64_t secondsSince1970);
int64_t NowSeconds();

}  // namespace zk
