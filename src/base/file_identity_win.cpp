#include <windows.h>

#include <string>

#include "base/file_identity.h"
#include "base/win_handles.h"

namespace zk {

bool IdentityOfHandle(void* handle, FileIdentity& out) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(static_cast<HANDLE>(handle), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    out.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    out.writeTime = (static_cast<int64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    out.volume = info.dwVolumeSerialNumber;
    out.fileId = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool IdentityOf(std::wstring_view path, FileIdentity& out) {
    // Attributes only, sharing everything: reading the identity must not get in anyone's way.
    UniqueFileHandle h(CreateFileW(std::wstring(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return h.valid() && IdentityOfHandle(h.get(), out);
}

DeleteOutcome DeleteIfSame(std::wstring_view path, const FileIdentity* expected, FileIdentity* found) {
    if (found) *found = {};
    UniqueFileHandle h(CreateFileW(std::wstring(path).c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? DeleteOutcome::Changed : DeleteOutcome::Refused;
    }
    FileIdentity now;
    const bool known = IdentityOfHandle(h.get(), now);
    if (known && found) *found = now;
    if (expected && !(known && now == *expected)) return DeleteOutcome::Changed;
    // A read-only file refuses its disposition: its attributes go first, on the same handle.
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(h.get(), FileBasicInfo, &basic, sizeof basic) && (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        FILE_BASIC_INFO normal{};
        normal.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        (void)SetFileInformationByHandle(h.get(), FileBasicInfo, &normal, sizeof normal);
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(h.get(), FileDispositionInfo, &disposition, sizeof disposition) ? DeleteOutcome::Deleted
                                                                                                     : DeleteOutcome::Refused;
}

}  // namespace zk
