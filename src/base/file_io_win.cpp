#include <windows.h>

#include <algorithm>

#include "base/file_io.h"

namespace zk::fileio {
namespace {
HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle Own(HANDLE h) { return h == INVALID_HANDLE_VALUE ? kNone : reinterpret_cast<Handle>(h); }
}  // namespace

void Close(Handle h) { CloseHandle(H(h)); }

Handle OpenReadExclusive(const std::wstring& path) {
    return Own(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

Handle CreateForWrite(const std::wstring& path) {
    return Own(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool Size(Handle h, uint64_t& size) {
    LARGE_INTEGER li = {};
    if (!GetFileSizeEx(H(h), &li)) return false;
    size = static_cast<uint64_t>(li.QuadPart);
    return true;
}

bool SeekTo(Handle h, uint64_t offset) {
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(H(h), li, nullptr, FILE_BEGIN) != FALSE;
}

bool Read(Handle h, void* buffer, size_t size, size_t& read) {
    read = 0;
    auto* p = static_cast<char*>(buffer);
    while (read < size) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(size - read, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(H(h), p + read, want, &got, nullptr)) return false;
        if (got == 0) break;
        read += got;
    }
    return true;
}

bool Write(Handle h, const void* buffer, size_t size) {
    size_t written = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (written < size) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(size - written, 1u << 30));
        DWORD put = 0;
        if (!WriteFile(H(h), p + written, want, &put, nullptr) || put == 0) return false;
        written += put;
    }
    return true;
}

bool Flush(Handle h) { return FlushFileBuffers(H(h)) != FALSE; }

}  // namespace zk::fileio
