// Native twins of the platform file services.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <climits>
#include <cstdlib>

#include "base/fsys.h"
#include "base/open_files_posix.h"
#include "base/unique_fd_posix.h"
#include "base/utf16.h"

namespace zk {

std::filesystem::path FsPath(std::wstring_view path) { return std::filesystem::path(ToUtf8(path)); }
std::wstring WidePath(const std::filesystem::path& path) { return FromUtf8(path.native()); }

std::FILE* OpenStream(std::wstring_view path, const wchar_t* mode, bool /*denyWrite*/) {
    std::string narrow;
    for (const wchar_t* m = mode; *m; ++m) narrow.push_back(static_cast<char>(*m));
    return std::fopen(ToUtf8(path).c_str(), narrow.c_str());
}

namespace {
// Whether a descriptor of any process, other than `self` of this one, refers to the file.
bool OpenElsewhere(dev_t dev, ino_t ino, int self) {
    std::error_code ec;
    for (auto proc = std::filesystem::directory_iterator("/proc", ec); !ec && proc != std::filesystem::directory_iterator(); proc.increment(ec)) {
        const std::string pid = proc->path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code ec2;
        for (auto fd = std::filesystem::directory_iterator(proc->path() / "fd", ec2); !ec2 && fd != std::filesystem::directory_iterator();
             fd.increment(ec2)) {
            if (pid == std::to_string(::getpid()) && fd->path().filename().string() == std::to_string(self)) continue;
            struct stat st {};
            if (::stat(fd->path().c_str(), &st) == 0 && st.st_dev == dev && st.st_ino == ino) return true;
        }
    }
    return false;
}
}  // namespace

// Approximation of the Windows exclusive-open test: a write lease can be taken only while no
// other descriptor (of any process, this one included) has the file open. Where the file system
// has no leases, the descriptors listed in /proc are searched for the file instead.
bool IsFileLocked(std::wstring_view path) {
    UniqueFd fd(::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return true;
    if (::fcntl(fd.get(), F_SETLEASE, F_WRLCK) == 0) {
        ::fcntl(fd.get(), F_SETLEASE, F_UNLCK);
        return false;
    }
    if (errno == EAGAIN || errno == EBUSY) return true;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return true;
    return OpenElsewhere(st.st_dev, st.st_ino, fd.get());
}

bool OpenByAnyDescriptor(std::wstring_view path) {
    struct stat st {};
    if (::stat(ToUtf8(path).c_str(), &st) != 0) return false;
    return OpenElsewhere(st.st_dev, st.st_ino, -1);
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

namespace {
int64_t Nanoseconds(const struct timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }
}  // namespace

ListResult ListFolder(std::wstring_view folder, std::wstring_view pattern, std::vector<DirEntry>& out) {
    out.clear();
    const std::string base = ToUtf8(folder);
    DIR* dir = ::opendir(base.c_str());
    if (!dir) return ListResult::Failed;
    const int dfd = ::dirfd(dir);
    while (const dirent* d = ::readdir(dir)) {
        const std::string_view raw(d->d_name);
        if (raw == "." || raw == "..") continue;
        DirEntry e;
        e.name = FromUtf8(raw);
        if (!WildcardMatch(pattern, e.name)) continue;
        struct stat st {};
        if (::fstatat(dfd, d->d_name, &st, 0) == 0) {
            e.isFolder = S_ISDIR(st.st_mode);
            if (!e.isFolder) e.size = static_cast<uint64_t>(st.st_size);
            e.writeTime = Nanoseconds(st.st_mtim);
        }
        out.push_back(std::move(e));
    }
    ::closedir(dir);
    return out.empty() ? ListResult::NoMatch : ListResult::Ok;
}

bool StampOf(std::wstring_view path, FileStamp& stamp) {
    struct stat st {};
    if (::stat(ToUtf8(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.writeTime = Nanoseconds(st.st_mtim);
    return true;
}

int64_t WriteTimeOf(std::wstring_view path) {
    struct stat st {};
    if (::stat(ToUtf8(path).c_str(), &st) != 0) return -1;
    return Nanoseconds(st.st_mtim);
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
