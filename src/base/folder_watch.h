// Watches one folder for subfolders that appear in it (made there, or moved or renamed into it;
// not what happens inside them) and raises a wake-up signal for each batch of them, so that a
// waiting worker can look at once instead of at its next round. It also tells which of them
// arrived whole, by a rename or a move, from those made in place (which may still be filling).
// Thread: a thread of the watch's own blocks on the platform's notification
// (ReadDirectoryChangesW on Windows, inotify natively), notes the names moved in and raises the
// signal; Start, Stop, Failed and TakeMovedIn are called by the owner's thread. m_movedMutex
// guards m_moved; the failure is an atomic the watch thread sets as it ends on an error.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/wake_signal.h"

namespace zk {

// The error number of a folder that is not there: ENOENT natively, ERROR_FILE_NOT_FOUND on
// Windows (both 2).
inline constexpr uint32_t kFolderGoneError = 2;

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
    // The watch thread ended on an error of the platform's (given in `error`), for instance when
    // the folder was removed: arrivals are no longer seen until the watch is started again.
    [[nodiscard]] bool Failed(uint32_t* error = nullptr) const {
        const uint32_t e = m_failure.load();
        if (error) *error = e;
        return m_impl && e != 0;
    }
    // Names of the subfolders that arrived by a rename or a move since the last call. Names lost
    // to an overflow of the platform's queue are not here: such folders count as made in place.
    std::vector<std::wstring> TakeMovedIn() {
        std::lock_guard lock(m_movedMutex);
        return std::exchange(m_moved, {});
    }

private:
    struct Impl;
    void NoteMovedIn(std::wstring name) {
        std::lock_guard lock(m_movedMutex);
        m_moved.push_back(std::move(name));
    }
    void NoteFailure(uint32_t error) { m_failure = error != 0 ? error : 1; }
    WakeSignal& m_signal;
    std::atomic<uint32_t> m_failure{0};
    std::mutex m_movedMutex;
    std::vector<std::wstring> m_moved;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace zk
