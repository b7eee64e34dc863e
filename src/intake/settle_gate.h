// When an order folder that is being filled in place (a copy, an editor writing into it) may be
// taken: once it has settled. Nothing in it was added, removed, grown or rewritten, and no file
// in it was in use, across two looks at least kLookGap apart, and its present contents have been
// seen unchanged for at least the quiet time. A folder that arrived whole (a rename, a move)
// does not pass through here.
// Used by the folder-audit thread only; no lock.
#pragma once
#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace zk {

class CSettleGate {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kLookGap{1000};
    // Copiers pause between files (opening the next, a slow source, a prompt); 2 s covers these
    // pauses as people and programs make them while delaying a finished order by little.
    static constexpr std::chrono::milliseconds kDefaultQuiet{2000};

    explicit CSettleGate(std::chrono::milliseconds quiet = kDefaultQuiet) : m_quiet(quiet) {}

    // One look at `folder`: what it holds (`signature`) and, asked only when that matters,
    // whether any of its files is in use. True when the folder has settled; it is then forgotten.
    bool Look(const std::wstring& folder, const std::wstring& signature, Clock::time_point now, const std::function<bool()>& anyInUse);
    // Forgets the folders not in `present` (gone, or taken another way).
    void KeepOnly(const std::set<std::wstring>& present);
    void Forget(const std::wstring& folder) { m_folders.erase(folder); }
    void SetQuiet(std::chrono::milliseconds quiet) { m_quiet = quiet; }
    [[nodiscard]] bool Empty() const { return m_folders.empty(); }
    [[nodiscard]] bool Watching(const std::wstring& folder) const { return m_folders.count(folder) != 0; }

private:
    struct Seen {
        std::wstring signature;
        Clock::time_point since;     // first look that saw these contents (or a file in use)
        Clock::time_point lastLook;  // last look that counted
    };
    std::chrono::milliseconds m_quiet;
    std::map<std::wstring, Seen> m_folders;
};

}  // namespace zk
