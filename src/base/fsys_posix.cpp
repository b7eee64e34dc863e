// Native twins of the platform file services.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>

#include "base/fsys.h"
#include "base/unique_handle.h"
#include "base/utf16.h"

namespace zk {
namespace {
void CloseFd(int fd) { ::close(fd); }
using UniqueFd = UniqueHandle<int, &CloseFd, -1>;
}  // namespace

std::filesystem::path FsPath(std::wstring_view path) { return std::filesystem::path(ToUtf8(path)); }
std::wstring WidePath(const std::filesystem::path& path) { return FromUtf8(path.native()); }

std::FILE* OpenStream(std::wstring_view path, const wchar_t* mode, bool /*denyWrite*/) {
    std::string narrow;
    for (const wchar_t* m = mode; *m; ++m) narrow.push_back(static_cast<char>(*m));
    return std::fopen(ToUtf8(path).c_str(), narrow.c_str());
}

// Approximation of the Windows exclusive-open test: a write lease can be taken only while no
// other descriptor (of any process, this one included) has the file open. Where leases are
// unavailable (file system without lease support, or a file owned by another user) the file
// counts as free, since nothing better can be known.
bool IsFileLocked(std::wstring_view path) {
    UniqueFd fd(::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return true;
    if (::fcntl(fd.get(), F_SETLEASE, F_WRLCK) == 0) {
        ::fcntl(fd.get(), F_SETLEASE, F_UNLCK);
        return false;
    }
    return errno == EAGAIN || errno == EBUSY;
}

bool SetNormalAttributes(std::wstring_view path) {
    struct stat st {};
    const std::string p = ToUtf8(path);
    if (::stat(p.c_str(), &st) != 0) return false;
    return ::chmod(p.c_str(), (st.st_mode & 07777) | S_IRUSR | S_IWUSR) == 0;
}

std::wstring CreateUniqueTempFile(std::wstring_view prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + ToUtf8(prefix) + "XXXXXX.tmp";
    UniqueFd fd(::mkstemps(templ.data(), 4));
    if (!fd.valid()) return {};
    return FromUtf8(templ);
}

uint32_t TickCountMs() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

std::wstring ModuleFolder() {
    char buf[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return L".";
    std::string p(buf, static_cast<size_t>(n));
    const size_t slash = p.rfind('/');
    return FromUtf8(slash == std::string::npos ? p : p.substr(0, slash));
}

}  // namespace zk
