#include "intake/settle_gate.h"

namespace zk {

bool CSettleGate::Look(const std::wstring& folder, const std::wstring& signature, Clock::time_point now,
                       const std::function<bool()>& anyInUse, bool arrived) {
    auto [it, fresh] = m_folders.try_emplace(folder);
    Seen& seen = it->second;
    arrived = arrived || (!fresh && seen.arrived);
    if (fresh || seen.signature != signature) {
        seen = Seen{signature, now, now, arrived};
        return false;
    }
    seen.arrived = arrived;
    if (now - seen.lastLook < kLookGap) return false;  // too soon to count as a second look
    seen.lastLook = now;
    // A writer that keeps a file open (or a copier that set the size first) changes nothing
    // visible; the open file is what shows it is still at work.
    if (anyInUse()) {
        seen.since = now;
        return false;
    }
    if (now - seen.since < (signature.empty() && !seen.arrived ? m_emptyQuiet : m_quiet)) return false;
    m_folders.erase(it);
    return true;
}

void CSettleGate::KeepOnly(const std::set<std::wstring>& present) {
    for (auto it = m_folders.begin(); it != m_folders.end();) it = present.count(it->first) ? std::next(it) : m_folders.erase(it);
}

}  // namespace zk
