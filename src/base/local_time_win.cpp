#include <ctime>

#include "base/local_time.h"

namespace zk {

LocalTime ToLocalTime(int64_t t) {
    const __time64_t tt = t;
    std::tm tm {};
    _localtime64_s(&tm, &tt);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

int64_t NowSeconds() { return _time64(nullptr); }

}  // namespace zk
