// Watches one folder for subfolders that appear in it (made there, or moved or renamed into it;
// not what happens inside them) and raises a wake-up signal for each batch of them, so that a
// waiting worker can look at once instead of at its next round.
// Thread: a thread of the watch's own blocks on the platform's notification
// (ReadDirectoryChangesW on Windows, inotify natively) and only raises the signal; Start and
// Stop are called by the owner's thread.
#pragma once
#include <memory>
#include <string>

#include "base/wake_signal.h"

namespace zk {

class FolderWatch {
public:
    explicit FolderWatch(WakeSignal& signal);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // False when the folder cannot be watched; the owner then only looks at its own pace.
    bool Start(const std::wstring& folder);
    void Stop();
    [[nodiscard]] bool Active() const { return m_impl != nullptr; }

private:
    struct Impl;
    WakeSignal& m_signal;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace zk
