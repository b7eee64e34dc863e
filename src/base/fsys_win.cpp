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
    UniqueFileHandle h(NullIfInvalid(CreateFileW(std::wstring(path).c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
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

uint32_t TickCountMs() { return GetTickCount(); }

std::wstring ModuleFolder() {
    wchar_t buf[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path(buf, n);
    const size_t p = path.rfind(L'\\');
    return p == std::wstring::npos ? path : path.substr(0, p);
}

}  // namespace zk
