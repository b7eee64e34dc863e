// Native twin: inotify on the folder (subfolders made or moved into it), polled together with
// the read end of a pipe that Stop() closes the write end of. A subfolder moved in (IN_MOVED_TO)
// arrived whole; one made there (IN_CREATE) may still be filling. The watch ends as failed when
// the folder goes (its watch is removed) or the notifications cannot be read.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <thread>
#include <utility>

#include "base/folder_watch.h"
#include "base/unique_fd_posix.h"
#include "base/utf16.h"

namespace zk {

struct FolderWatch::Impl {
    UniqueFd notify, wakeRead, wakeWrite;
    std::thread thread;
};

FolderWatch::FolderWatch(WakeSignal& signal) : m_signal(signal) {}
FolderWatch::~FolderWatch() { Stop(); }

bool FolderWatch::Start(const std::wstring& folder) {
    Stop();
    m_failure = 0;
    auto impl = std::make_unique<Impl>();
    impl->notify.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    int fds[2];
    if (!impl->notify || ::pipe2(fds, O_CLOEXEC) != 0) return false;
    impl->wakeRead.reset(fds[0]);
    impl->wakeWrite.reset(fds[1]);
    if (::inotify_add_watch(impl->notify.get(), ToUtf8(folder).c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR) < 0) return false;
    Impl* self = impl.get();
    impl->thread = std::thread([this, self] {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            pollfd fds[2] = {{self->notify.get(), POLLIN, 0}, {self->wakeRead.get(), POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) continue;
            if (fds[1].revents) return;  // Stop() closed the pipe
            bool arrival = false, gone = false;
            ssize_t n;
            while ((n = ::read(self->notify.get(), buffer, sizeof buffer)) > 0) {
                for (ssize_t at = 0; at < n;) {
                    const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                    if ((e->mask & IN_ISDIR) || (e->mask & IN_Q_OVERFLOW)) arrival = true;
                    if ((e->mask & IN_ISDIR) && (e->mask & IN_MOVED_TO) && e->len > 0) NoteMovedIn(FromUtf8(e->name));
                    gone = gone || (e->mask & IN_IGNORED);
                    at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                }
            }
            const int error = n < 0 && errno != EAGAIN ? errno : gone ? ENOENT : 0;
            if (arrival || error) m_signal.Raise();
            if (error) {
                NoteFailure(static_cast<uint32_t>(error));
                return;
            }
        }
    });
    m_impl = std::move(impl);
    return true;
}

void FolderWatch::Stop() {
    if (!m_impl) return;
    m_impl->wakeWrite.reset();  // the watch thread's poll sees the end of the pipe
    if (m_impl->thread.joinable()) m_impl->thread.join();
    m_impl.reset();
}

}  // namespace zk
