// Native: the immutable flag refuses unlink, also to root, where the file system has it.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "base/utf16.h"
#include "support/test_util.h"

namespace zk::test {
namespace {
bool SetImmutable(const std::wstring& path, bool on) {
    const int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}
}  // namespace

FileUndeletable::FileUndeletable(std::wstring path) : m_path(std::move(path)) { m_active = SetImmutable(m_path, true); }

void FileUndeletable::Release() {
    if (m_active.exchange(false)) SetImmutable(m_path, false);
}

}  // namespace zk::test
