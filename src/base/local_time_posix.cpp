#include <ctime>

#include "base/local_time.h"

namespace zk {

LocalTime ToLocalTime(int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm {};
    localtime_r(&tt, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace zk
