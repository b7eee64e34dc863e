#include "http/connection_choice.h"

#include <algorithm>

namespace zk {

void HttpConnectionChoice::Switch(bool fresh) {
    m_fresh = fresh;
    m_stalls = 0;
    m_count = 0;
}

void HttpConnectionChoice::Record(std::chrono::steady_clock::duration wait) {
    ++m_count;
    m_stalls = wait >= kStall ? m_stalls + 1 : 0;
    if (!m_fresh) {
        if (m_hold > 0) {
            --m_hold;
            return;
        }
        if (m_stalls >= kStallsToSwitch) Switch(true);
        return;
    }
    if (m_stalls >= kStallsToSwitch) {
        // Fresh connections stall as well: the stall is not the kept-alive connection's.
        m_hold = m_nextHold;
        m_nextHold = std::min(m_nextHold * 2, kLongestHold);
        Switch(false);
    } else if (m_count >= kFreshBeforeRetry) {
        Switch(false);
    }
}

}  // namespace zk
