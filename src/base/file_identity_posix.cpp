#include <sys/stat.h>

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

}  // namespace zk
