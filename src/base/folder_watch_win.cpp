// Windows: an overlapped ReadDirectoryChangesW on the folder, waited for together with a quit
// event. Only additions and renames into the folder raise the signal (the agent's own removals
// of finished orders do not). A rename in the folder arrives whole; so does a folder moved in
// from elsewhere on the volume, which the shell reports as added but which keeps its creation
// time, while a folder made in place (a copy, an editor's mkdir) is created now.
// Threads: the owner's thread calls Start and Stop; the watch thread waits and reads the
// changes. The moved-in names are guarded by m_movedMutex; the quit flag is atomic.
#include <windows.h>

#include <atomic>
#include <future>
#include <thread>
#include <utility>

#include "base/folder_watch.h"
#include "base/path.h"
#include "base/win_handles.h"

namespace zk {

struct FolderWatch::Impl {
    UniqueFileHandle folder;
    UniqueKernelHandle changed, quit;
    std::atomic<bool> quitting{false};  // set with `quit`, read when a wait times out
    std::thread thread;
};

namespace {

// The longest wait for a change before the quit flag is read again: under load Wine once left
// the watch waiting with the quit event set, and the owner's Stop waited for it for ever.
constexpr DWORD kQuitLookMs = 500;

// Made more than this before it was reported: the folder existed elsewhere and was moved in.
constexpr ULONGLONG kMovedAge = 2ULL * 10'000'000ULL;  // 2 s in FILETIME units

bool CreatedLongAgo(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    FILETIME nowFt{};
    GetSystemTimeAsFileTime(&nowFt);
    auto ticks = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    const ULONGLONG created = ticks(data.ftCreationTime), now = ticks(nowFt);
    return created < now && now - created > kMovedAge;
}

// Calls `moved` for every name that arrived whole; true when anything arrived.
template <class Moved>
bool ReadArrivals(const char* buffer, DWORD bytes, const std::wstring& folder, Moved moved) {
    if (bytes == 0) return true;  // more changes than the buffer holds: the names are lost
    bool any = false;
    for (DWORD at = 0;;) {
        const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + at);
        if (info->Action == FILE_ACTION_ADDED || info->Action == FILE_ACTION_RENAMED_NEW_NAME) {
            any = true;
            std::wstring name(info->FileName, info->FileNameLength / sizeof(WCHAR));
            if (info->Action == FILE_ACTION_RENAMED_NEW_NAME || CreatedLongAgo(JoinPath(folder, name))) moved(std::move(name));
        }
        if (info->NextEntryOffset == 0) return any;
        at += info->NextEntryOffset;
    }
}

}  // namespace

FolderWatch::FolderWatch(WakeSignal& signal) : m_signal(signal) {}
FolderWatch::~FolderWatch() { Stop(); }

bool FolderWatch::Start(const std::wstring& folder) {
    Stop();
    m_failure = 0;
    auto impl = std::make_unique<Impl>();
    impl->folder.reset(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    impl->changed.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    impl->quit.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!impl->folder || !impl->changed || !impl->quit) return false;
    Impl* self = impl.get();
    // Start returns once the first read is issued: from then on the handle keeps every change,
    // so an order moved in right after the start is seen (the scan that follows the start
    // counts on it).
    std::promise<void> armed;
    std::future<void> isArmed = armed.get_future();
    impl->thread = std::thread([this, self, folder, armed = std::move(armed)]() mutable {
        alignas(DWORD) char buffer[8192];
        for (bool first = true;; first = false) {
            OVERLAPPED ov{};
            ov.hEvent = self->changed.get();
            ResetEvent(ov.hEvent);
            const BOOL issued = ReadDirectoryChangesW(self->folder.get(), buffer, sizeof buffer, FALSE, FILE_NOTIFY_CHANGE_DIR_NAME, nullptr, &ov, nullptr);
            const DWORD error = issued ? 0 : GetLastError();
            if (first) armed.set_value();
            if (!issued) {
                NoteFailure(error);
                m_signal.Raise();
                return;
            }
            const HANDLE handles[2] = {self->changed.get(), self->quit.get()};
            DWORD bytes = 0, waited;
            while ((waited = WaitForMultipleObjects(2, handles, FALSE, kQuitLookMs)) == WAIT_TIMEOUT && !self->quitting.load()) {
            }
            if (waited != WAIT_OBJECT_0) {
                CancelIoEx(self->folder.get(), &ov);
                GetOverlappedResult(self->folder.get(), &ov, &bytes, TRUE);
                return;
            }
            if (!GetOverlappedResult(self->folder.get(), &ov, &bytes, FALSE)) {
                NoteFailure(GetLastError());
                m_signal.Raise();
                return;
            }
            if (ReadArrivals(buffer, bytes, folder, [this](std::wstring name) { NoteMovedIn(std::move(name)); })) m_signal.Raise();
        }
    });
    isArmed.wait();
    m_impl = std::move(impl);
    return true;
}

void FolderWatch::Stop() {
    if (!m_impl) return;
    m_impl->quitting = true;
    SetEvent(m_impl->quit.get());
    if (m_impl->thread.joinable()) m_impl->thread.join();
    m_impl.reset();
}

}  // namespace zk
