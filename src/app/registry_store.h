// The settings in HKEY_CURRENT_USER\Software\ZELTAVIO\<agent class>: eight REG_SZ values
// written without a terminating zero. Values an administrator set with another textual type
// (REG_EXPAND_SZ, REG_DWORD, ...) are read as their text and keep their type while that text
// stays the same. Windows only.
#pragma once
#include <string>

#include "app/settings_store.h"
#include "base/win_handles.h"

namespace zk {

class CRegistrySettingsStore final : public ISettingsStore {
public:
    explicit CRegistrySettingsStore(std::wstring agentClass) : m_keyPath(L"Software\\ZELTAVIO\\" + agentClass) {}
    bool Open() override;
    std::optional<std::wstring> Read(const std::wstring& name) override;
    bool Write(const std::wstring& name, const std::wstring& value) override;
    void Close() override;
    [[nodiscard]] const std::wstring& KeyPath() const { return m_keyPath; }

private:
    std::wstring m_keyPath;
    UniqueHkey m_key;  // open between Open and Close
};

}  // namespace zk
