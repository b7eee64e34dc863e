#include "session/upload_pacer.h"

namespace zk {

std::chrono::microseconds CUploadPacer::DueAfter(uint64_t bytes) const {
    if (m_bytesPerSecond == 0) return std::chrono::microseconds(0);
    return std::chrono::microseconds(static_cast<int64_t>(bytes * 1000000 / m_bytesPerSecond));
}

bool CUploadPacer::Pace(uint64_t bytes, const ManualResetEvent& stop) const {
    if (m_bytesPerSecond == 0) return false;
    const auto lead = m_start + DueAfter(bytes) - std::chrono::steady_clock::now();
    // Waits below 20 ms would be many and would overshoot by the timer's grain each time.
    if (lead < std::chrono::milliseconds(20)) return false;
    return PauseUnlessStopped(stop, std::chrono::duration_cast<std::chrono::milliseconds>(lead));
}

}  // namespace zk
