// Windows: a handle that shares reading but not deletion makes DeleteFileW fail.
#include <windows.h>

#include "support/test_util.h"

namespace zk::test {

FileUndeletable::FileUndeletable(std::wstring path) : m_path(std::move(path)) {
    const HANDLE h = CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    m_handle = reinterpret_cast<intptr_t>(h);
    m_active = true;
}

void FileUndeletable::Release() {
    if (m_active.exchange(false)) CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

}  // namespace zk::test
