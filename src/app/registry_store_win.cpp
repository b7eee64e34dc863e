#include <windows.h>

#include <cwchar>
#include <optional>
#include <string>
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

namespace {

// The text a value of one of the textual types stands for: REG_SZ as stored, REG_EXPAND_SZ with
// its environment variables expanded (an administrator may write "%USERPROFILE%\\orders"),
// REG_DWORD and REG_QWORD as decimal numbers, REG_MULTI_SZ by its first string. Other types
// have no text.
std::optional<std::wstring> TextOf(DWORD type, const std::vector<BYTE>& data) {
    auto wide = [&] {
        std::wstring s(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        const size_t end = s.find(L'\0');  // texts stored without or with a terminator
        return end == std::wstring::npos ? s : s.substr(0, end);
    };
    switch (type) {
        case REG_SZ:
        case REG_MULTI_SZ: return wide();
        case REG_EXPAND_SZ: {
            const std::wstring raw = wide();
            const DWORD n = ExpandEnvironmentStringsW(raw.c_str(), nullptr, 0);
            if (n == 0) return raw;
            std::wstring out(n, L'\0');
            if (ExpandEnvironmentStringsW(raw.c_str(), out.data(), n) == 0) return raw;
            out.resize(wcsnlen(out.c_str(), out.size()));
            return out;
        }
        case REG_DWORD:
            if (data.size() < sizeof(DWORD)) return std::nullopt;
            return std::to_wstring(*reinterpret_cast<const DWORD*>(data.data()));
        case REG_QWORD:
            if (data.size() < sizeof(unsigned long long)) return std::nullopt;
            return std::to_wstring(*reinterpret_cast<const unsigned long long*>(data.data()));
        default: return std::nullopt;
    }
}

}  // namespace

// The whole value is read, whatever its length (a long folder path is not overwritten).
std::optional<std::wstring> CRegistrySettingsStore::Read(const std::wstring& name) {
    if (!m_key) return std::nullopt;
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(m_key.get(), name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
    std::vector<BYTE> data(bytes + sizeof(wchar_t), 0);
    if (RegQueryValueExW(m_key.get(), name.c_str(), nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS) return std::nullopt;
    data.resize(bytes);
    return TextOf(type, data);
}

// A value of another textual type that already stands for the same text keeps its type and
// form: writing back the settings must not turn an administrator's "%APPDATA%\\x" into its
// expansion, nor a REG_DWORD into text.
bool CRegistrySettingsStore::Write(const std::wstring& name, const std::wstring& value) {
    if (!m_key) return false;
    DWORD type = 0;
    if (RegQueryValueExW(m_key.get(), name.c_str(), nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS && type != REG_SZ &&
        Read(name) == value)
        return true;
    return RegSetValueExW(m_key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.data()),
                          static_cast<DWORD>(value.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

void CRegistrySettingsStore::Close() {
    m_key.reset();
}

}  // namespace zk
