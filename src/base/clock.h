// The agent's view of time, injectable so that tests can cross midnight and count minutes.
#pragma once
#include <cstdint>

#include "base/local_time.h"

namespace zk {

class IClock {
public:
    virtual ~IClock() = default;
    [[nodiscard]] virtual int64_t Now() const = 0;  // seconds since 1970
    [[nodiscard]] virtual LocalTime Local(int64_t seconds) const { return ToLocalTime(seconds); }
    // Milliseconds since the system started.
    [[nodiscard]] virtual uint32_t TickCount() const = 0;
};

class SystemClock final : public IClock {
public:
    [[nodiscard]] int64_t Now() const override { return NowSeconds(); }
    [[nodiscard]] uint32_t TickCount() const override;
};

}  // namespace zk
