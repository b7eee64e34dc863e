// Windows: an overlapped ReadDirectoryChangesW on the folder, waited for together with a quit
// event. Only additions and renames into the folder raise the signal (the agent's own removals
// of finished orders do not).
#include <windows.h>

#include <thread>

#include "base/folder_watch.h"
#include "base/win_handles.h"

namespace zk {

struct FolderWatch::Impl {
    UniqueFileHandle folder;
    UniqueKernelHandle changed, quit;
    std::thread thread;
};

namespace {

bool AnyArrival(const char* buffer, DWORD bytes) {
    if (bytes == 0) return true;  // more changes than the buffer holds
    for (DWORD at = 0;;) {
        const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + at);
        if (info->Action == FILE_ACTION_ADDED || info->Action == FILE_ACTION_RENAMED_NEW_NAME) return true;
        if (info->NextEntryOffset == 0) return false;
        at += info->NextEntryOffset;
    }
}

}  // namespace

FolderWatch::FolderWatch(WakeSignal& signal) : m_signal(signal) {}
FolderWatch::~FolderWatch() { Stop(); }

bool FolderWatch::Start(const std::wstring& folder) {
    Stop();
    auto impl = std::make_unique<Impl>();
    impl->folder.reset(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    impl->changed.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    impl->quit.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!impl->folder || !impl->changed || !impl->quit) return false;
    Impl* self = impl.get();
    WakeSignal* signal = &m_signal;
    impl->thread = std::thread([self, signal] {
        alignas(DWORD) char buffer[8192];
        for (;;) {
            OVERLAPPED ov{};
            ov.hEvent = self->changed.get();
            ResetEvent(ov.hEvent);
            if (!ReadDirectoryChangesW(self->folder.get(), buffer, sizeof buffer, FALSE, FILE_NOTIFY_CHANGE_DIR_NAME, nullptr, &ov, nullptr))
                return;
            const HANDLE handles[2] = {self->changed.get(), self->quit.get()};
            DWORD bytes = 0;
            if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
                CancelIoEx(self->folder.get(), &ov);
                GetOverlappedResult(self->folder.get(), &ov, &bytes, TRUE);
                return;
            }
            if (!GetOverlappedResult(self->folder.get(), &ov, &bytes, FALSE)) return;
            if (AnyArrival(buffer, bytes)) signal->Raise();
        }
    });
    m_impl = std::move(impl);
    return true;
}

void FolderWatch::Stop() {
    if (!m_impl) return;
    SetEvent(m_impl->quit.get());
    if (m_impl->thread.joinable()) m_impl->thread.join();
    m_impl.reset();
}

}  // namespace zk
