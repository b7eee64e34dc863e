// File-system services of the core. Portable ones sit on std::filesystem (fsys.cpp, never
// throwing); the few that need the platform have a _win.cpp and a _posix.cpp twin.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/unique_handle.h"

namespace zk {

// Wide path text <-> std::filesystem::path (UTF-8 on the native build, whatever the locale).
std::filesystem::path FsPath(std::wstring_view path);
std::wstring WidePath(const std::filesystem::path& path);

// Access test: something (file or folder) exists at the path.
[[nodiscard]] bool PathExists(std::wstring_view path);
[[nodiscard]] bool IsFolder(std::wstring_view path);
// Creates one folder; an existing folder is success.
[[nodiscard]] bool CreateFolder(std::wstring_view path);
// Removes an empty folder.
[[nodiscard]] bool RemoveFolder(std::wstring_view path);
[[nodiscard]] bool DeleteFileAt(std::wstring_view path);
// A move that never replaces what is at `to`.
[[nodiscard]] bool RenamePath(std::wstring_view from, std::wstring_view to);
[[nodiscard]] bool CopyFileTo(std::wstring_view from, std::wstring_view to, bool overwrite);
// Size of a file, or -1.
int64_t FileSizeOf(std::wstring_view path);

// What tells one version of a file from another: its size and last write time (in the
// platform's units; only compared for equality).
struct FileStamp {
    uint64_t size = 0;
    int64_t writeTime = 0;
    bool operator==(const FileStamp&) const = default;
};

struct DirEntry {
    std::wstring name;
    bool isFolder = false;
    uint64_t size = 0;
    int64_t writeTime = 0;
    [[nodiscard]] FileStamp Stamp() const { return {size, writeTime}; }
};

enum class ListResult { Ok, NoMatch, Failed };
// Entries of `folder` whose names match `pattern` ("*" and "?" wildcards, letters compared
// without regard to case; "*.*" matches every name), in the order the file system gives them,
// without "." and "..". One directory search (FindFirstFile on Windows): no call per entry.
ListResult ListFolder(std::wstring_view folder, std::wstring_view pattern, std::vector<DirEntry>& out);
bool WildcardMatch(std::wstring_view pattern, std::wstring_view name);
// What a listing holds, as far as a change matters: names, kinds, sizes and write times, in
// name order (equal for equal contents whatever order the file system lists them in).
std::wstring ListingSignature(std::vector<DirEntry> entries);
// The stamp of a file; false when there is no file at the path.
[[nodiscard]] bool StampOf(std::wstring_view path, FileStamp& stamp);
// Last write time of a file or folder (a folder's changes when entries are added, removed or
// renamed in it), in the platform's units; -1 when there is nothing at the path.
[[nodiscard]] int64_t WriteTimeOf(std::wstring_view path);

inline void CloseStream(std::FILE* f) { std::fclose(f); }
using UniqueStream = UniqueHandle<std::FILE*, &CloseStream>;

// --- platform twins ---
// Opens a C stream on a wide path with a binary mode such as L"wb" or L"ab". With `denyWrite`
// other processes may read the file but not write it (Windows share mode; not enforced natively).
std::FILE* OpenStream(std::wstring_view path, const wchar_t* mode, bool denyWrite = false);
// True when the file cannot be opened exclusively (another handle has it open), or does not exist.
[[nodiscard]] bool IsFileLocked(std::wstring_view path);
// Clears read-only (and on Windows hidden/system) so that the file can be deleted.
bool SetNormalAttributes(std::wstring_view path);
// Creates a new empty file with a unique name and the given prefix in the user's temporary
// folder; gives its path, or empty on failure.
std::wstring CreateUniqueTempFile(std::wstring_view prefix);
// Milliseconds since the system started (wraps at 2^32).
uint32_t TickCountMs();
// Folder of the running executable, without a trailing separator.
std::wstring ModuleFolder();

}  // namespace zk
