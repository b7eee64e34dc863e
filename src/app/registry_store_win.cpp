#include <windows.h>

#include <vector>

#include "app/registry_store.h"
#include "base/win_handles.h"

namespace zk {

bool CRegistrySettingsStore::Open() {
    Close();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, m_keyPath.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS &&
        RegCreateKeyExW(HKEY_CURRENT_USER, m_keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    m_key.reset(key);
    return true;
}

// The whole value is read, whatever its length (a long folder path is not overwritten).
std::optional<std::wstring> CRegistrySettingsStore::Read(const std::wstring& name) {
    if (!m_key) return std::nullopt;
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(m_key.get(), name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    std::vector<wchar_t> buf(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(m_key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &bytes) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::wstring value(buf.data(), bytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return value;
}

bool CRegistrySettingsStore::Write(const std::wstring& name, const std::wstring& value) {
    if (!m_key) return false;
    return RegSetValueExW(m_key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.data()),
                          static_cast<DWORD>(value.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

void CRegistrySettingsStore::Close() {
    m_key.reset();
}

}  // namespace zk
