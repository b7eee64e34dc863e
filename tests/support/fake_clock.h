// A clock the test moves by hand; local time is taken as UTC so that results do not depend on
// the machine's time zone.
#pragma once
#include <atomic>

#include "base/clock.h"

namespace zk::test {

class FakeClock final : public IClock {
public:
    explicit FakeClock(int64_t now = 0) : m_now(now) {}
    [[nodiscard]] int64_t Now() const override { return m_now.load(); }
    [[nodiscard]] uint32_t TickCount() const override { return m_ticks.load(); }
    [[nodiscard]] LocalTime Local(int64_t t) const override { return Utc(t); }
    void Set(int64_t t) { m_now = t; }
    void Advance(int64_t seconds) { m_now += seconds; }
    void SetTicks(uint32_t ms) { m_ticks = ms; }

    // Seconds since 1970 of a UTC date and time.
    static int64_t At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
        y -= mo <= 2;
        const int64_t era = (y >= 0 ? y : y - 399) / 400;
        const int64_t yoe = y - era * 400;
        const int64_t doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return (era * 146097 + doe - 719468) * 86400 + h * 3600 + mi * 60 + s;
    }
    static LocalTime Utc(int64_t t) {
        int64_t days = t >= 0 ? t / 86400 : (t - 86399) / 86400;
        const int64_t secs = t - days * 86400;
        days += 719468;
        const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
        const int64_t doe = days - era * 146097;
        const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const int64_t mp = (5 * doy + 2) / 153;
        const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        const int y = static_cast<int>(yoe + era * 400 + (m <= 2));
        return {y, m, d, static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60)};
    }

private:
    std::atomic<int64_t> m_now;
    std::atomic<uint32_t> m_ticks{0};
};

}  // namespace zk::test
