// Native twin. The exclusive open is the same approximation as IsFileLocked (see fsys.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/file_io.h"
#include "base/fsys.h"
#include "base/utf16.h"

namespace zk::fileio {

void Close(Handle h) { ::close(static_cast<int>(h)); }

Handle OpenReadExclusive(const std::wstring& path) {
    if (IsFileLocked(path)) return kNone;
    const int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    return fd < 0 ? kNone : fd;
}

Handle CreateForWrite(const std::wstring& path) {
    const int fd = ::open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd < 0 ? kNone : fd;
}

bool Size(Handle h, uint64_t& size) {
    struct stat st {};
    if (::fstat(static_cast<int>(h), &st) != 0) return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool SeekTo(Handle h, uint64_t offset) { return ::lseek(static_cast<int>(h), static_cast<off_t>(offset), SEEK_SET) >= 0; }

bool Read(Handle h, void* buffer, size_t size, size_t& read) {
    read = 0;
    auto* p = static_cast<char*>(buffer);
    while (read < size) {
        const ssize_t n = ::read(static_cast<int>(h), p + read, size - read);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        read += static_cast<size_t>(n);
    }
    return true;
}

bool Write(Handle h, const void* buffer, size_t size) {
    size_t written = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (written < size) {
        const ssize_t n = ::write(static_cast<int>(h), p + written, size - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

bool Flush(Handle h) {
    int r;
    while ((r = ::fsync(static_cast<int>(h))) != 0 && errno == EINTR) {
    }
    return r == 0;
}

}  // namespace zk::fileio
