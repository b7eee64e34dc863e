// When an order folder that is being filled in place (a copy, an editor writing into it) may be
// taken: once it has settled. Nothing in it was added, removed, grown or rewritten, and no file
// in it was in use, across two looks at least kLookGap apart, and its present contents have been
// seen unchanged for at least the quiet time. An empty folder made in place (Explorer's "New
// folder", which a person is about to name and fill) must stay empty for kEmptyQuiet; one that
// arrived by a rename or a move, or was there before the audit began, is an empty order and
// settles as any other. A folder that arrived whole with files does not pass through here.
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
    // A person names a new folder in seconds, but may be called away meanwhile.
    static constexpr std::chrono::milliseconds kEmptyQuiet{60000};

    explicit CSettleGate(std::chrono::milliseconds quiet = kDefaultQuiet, std::chrono::milliseconds emptyQuiet = kEmptyQuiet)
        : m_quiet(quiet), m_emptyQuiet(emptyQuiet) {}

    // One look at `folder`: what it holds (`signature`, empty for an empty folder) and, asked
    // only when that matters, whether any of its files is in use. `arrived`: it came by a rename
    // or a move, or was there before the audit began (said at its first look). True when the
    // folder has settled; it is then forgotten.
    bool Look(const std::wstring& folder, const std::wstring& signature, Clock::time_point now, const std::function<bool()>& anyInUse,
              bool arrived = false);
    // Forgets the folders not in `present` (gone, or taken another way).
    void KeepOnly(const std::set<std::wstring>& present);
    void Forget(const std::wstring& folder) { m_folders.erase(folder); }
    void SetQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds emptyQuiet) {
        m_quiet = quiet;
        m_emptyQuiet = emptyQuiet;
    }
    [[nodiscard]] bool Empty() const { return m_folders.empty(); }
    [[nodiscard]] bool Watching(const std::wstring& folder) const { return m_folders.count(folder) != 0; }

private:
    struct Seen {
        std::wstring signature;
        Clock::time_point since;     // first look that saw these contents (or a file in use)
        Clock::time_point lastLook;  // last look that counted
        bool arrived = false;
    };
    std::chrono::milliseconds m_quiet, m_emptyQuiet;
    std::map<std::wstring, Seen> m_folders;
};

}  // namespace zk
