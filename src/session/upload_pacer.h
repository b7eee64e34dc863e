// Keeps an upload's average rate at or below a limit: after each step the sender waits until the
// bytes handed over so far are due at that rate. Used by the upload loop's thread only.
#pragma once
#include <chrono>
#include <cstdint>

#include "base/manual_event.h"

namespace zk {

class CUploadPacer {
public:
    // Made when a request body starts; kilobytesPerSecond 0: no limit.
    explicit CUploadPacer(uint32_t kilobytesPerSecond) : m_bytesPerSecond(uint64_t{kilobytesPerSecond} * 1024) {}
    // Waits (unless the stop event comes) until `bytes` are due; true when stopped meanwhile.
    // Short leads are let through, so that a small step costs no wait of its own.
    bool Pace(uint64_t bytes, const ManualResetEvent& stop) const;

private:
    // When `bytes` are due after the start.
    [[nodiscard]] std::chrono::microseconds DueAfter(uint64_t bytes) const;

    uint64_t m_bytesPerSecond;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

}  // namespace zk
