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

// What became of a file that was to be deleted only while it is one known version.
enum class DeleteOutcome {
    Deleted,  // it was that version, and it went
    Changed,  // gone, another version, or its identity unreadable: left alone
    Refused,  // that version, but it would not go (open elsewhere, a read-only medium ...)
};
// Deletes the file at `path` only while it is `expected` (size, write time, volume and file id
// all equal); without `expected`, whatever file is there. The identity is read and the file
// deleted through one handle that lets nobody write or replace it meanwhile (Windows: opened
// with delete access and no write sharing, deleted by its disposition; natively the twin checks
// the name still leads to the file it opened right before unlinking it). `found` gets the
// identity read, all zero when none could be.
[[nodiscard]] DeleteOutcome DeleteIfSame(std::wstring_view path, const FileIdentity* expected, FileIdentity* found = nullptr);

// The identity of an open file: a HANDLE on Windows, a file descriptor natively.
#ifdef _WIN32
[[nodiscard]] bool IdentityOfHandle(void* handle, FileIdentity& out);
#else
[[nodiscard]] bool IdentityOfDescriptor(int fd, FileIdentity& out);
#endif

}  // namespace zk
