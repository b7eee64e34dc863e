// Which file, in which version: what tells the file that was read from the one found at the same
// path later (replaced, rewritten, or another file moved into its place).
#pragma once
#include <cstdint>
#include <string_view>

namespace zk {

// Size, last write time in the units of FileStamp (Windows: FILETIME ticks; natively: nanoseconds
// since 1970), the volume and the file's number on it. All zero: unknown.
struct FileIdentity {
    uint64_t size = 0;
    int64_t writeTime = 0;
    uint64_t volume = 0;
    uint64_t fileId = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path`; false when there is none (or it is a folder).
[[nodiscard]] bool IdentityOf(std::wstring_view path, FileIdentity& out);

// The identity of an open file: a HANDLE on Windows, a file descriptor natively.
#ifdef _WIN32
[[nodiscard]] bool IdentityOfHandle(void* handle, FileIdentity& out);
#else
[[nodiscard]] bool IdentityOfDescriptor(int fd, FileIdentity& out);
#endif

}  // namespace zk
