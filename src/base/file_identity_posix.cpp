#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/file_identity.h"
#include "base/utf16.h"

namespace zk {
namespace {

bool FromStat(const struct stat& st, FileIdentity& out) {
    if (S_ISDIR(st.st_mode)) return false;
    out.size = static_cast<uint64_t>(st.st_size);
    out.writeTime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    out.volume = static_cast<uint64_t>(st.st_dev);
    out.fileId = static_cast<uint64_t>(st.st_ino);
    return true;
}

}  // namespace

bool IdentityOfDescriptor(int fd, FileIdentity& out) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && FromStat(st, out);
}

bool IdentityOf(std::wstring_view path, FileIdentity& out) {
    struct stat st {};
    return ::stat(ToUtf8(path).c_str(), &st) == 0 && FromStat(st, out);
}

DeleteOutcome DeleteIfSame(std::wstring_view path, const FileIdentity* expected, FileIdentity* found) {
    if (found) *found = {};
    const std::string name = ToUtf8(path);
    const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? DeleteOutcome::Changed : DeleteOutcome::Refused;
    FileIdentity now;
    const bool known = IdentityOfDescriptor(fd, now);
    ::close(fd);
    if (known && found) *found = now;
    if (expected && !(known && now == *expected)) return DeleteOutcome::Changed;
    // No handle holds a name here: the name must still lead to the file just checked.
    FileIdentity again;
    if (known && !(IdentityOf(path, again) && again == now)) return DeleteOutcome::Changed;
    if (::unlink(name.c_str()) == 0) return DeleteOutcome::Deleted;
    return errno == ENOENT ? DeleteOutcome::Changed : DeleteOutcome::Refused;
}

}  // namespace zk
