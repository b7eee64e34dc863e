#include <windows.h>
#include <share.h>

#include "base/fsys.h"
#include "base/win_handles.h"

namespace zk {

std::filesystem::path FsPath(std::wstring_view path) { return std::filesystem::path(std::wstring(path)); }
std::wstring WidePath(const std::filesystem::path& path) { return path.wstring(); }

std::FILE* OpenStream(std::wstring_view path, const wchar_t* mode, bool denyWrite) {
    return _wfsopen(std::wstring(path).c_str(), mode, denyWrite ? _SH_DENYWR : _SH_DENYNO);
}

bool IsFileLocked(std::wstring_view path) {
    // Share mode "delete" only: the open fails while any other handle reads or writes the file.
    UniqueFileHandle h(CreateFileW(std::wstring(path).c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    return !h.valid();
}

bool SetNormalAttributes(std::wstring_view path) {
    return SetFileAttributesW(std::wstring(path).c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

std::wstring CreateUniqueTempFile(std::wstring_view prefix) {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH, folder);
    if (n == 0 || n > MAX_PATH) return {};
    wchar_t name[MAX_PATH + 1] = {};
    if (GetTempFileNameW(folder, std::wstring(prefix).c_str(), 0, name) == 0) return {};
    return name;
}

namespace {
int64_t Ticks(const FILETIME& t) { return (static_cast<int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }
}  // namespace

ListResult ListFolder(std::wstring_view folder, std::wstring_view pattern, std::vector<DirEntry>& out) {
    out.clear();
    std::wstring query(folder);
    if (!query.empty() && query.back() != L'\\' && query.back() != L'/') query.push_back(L'\\');
    query.push_back(L'*');
    WIN32_FIND_DATAW fd;
    // The basic information level without short names, fetched in large blocks.
    UniqueFindHandle find(FindFirstFileExW(query.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) return GetLastError() == ERROR_FILE_NOT_FOUND ? ListResult::NoMatch : ListResult::Failed;
    do {
        const std::wstring_view name(fd.cFileName);
        if (name == L"." || name == L"..") continue;
        if (!WildcardMatch(pattern, name)) continue;
        DirEntry e;
        e.name = fd.cFileName;
        e.isFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!e.isFolder) e.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        e.writeTime = Ticks(fd.ftLastWriteTime);
        out.push_back(std::move(e));
    } while (FindNextFileW(find.get(), &fd));
    return out.empty() ? ListResult::NoMatch : ListResult::Ok;
}

bool StampOf(std::wstring_view path, FileStamp& stamp) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExW(std::wstring(path).c_str(), GetFileExInfoStandard, &a) || (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    stamp.size = (static_cast<uint64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
    stamp.writeTime = Ticks(a.ftLastWriteTime);
    return true;
}

int64_t WriteTimeOf(std::wstring_view path) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExW(std::wstring(path).c_str(), GetFileExInfoStandard, &a)) return -1;
    return Ticks(a.ftLastWriteTime);
}

uint32_t TickCountMs() { return GetTickCount(); }

std::wstring ModuleFolder() {
    wchar_t buf[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path(buf, n);
    const size_t p = path.rfind(L'\\');
    return p == std::wstring::npos ? path : path.substr(0, p);
}

}  // namespace zk
