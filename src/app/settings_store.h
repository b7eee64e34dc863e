// Where the settings persist: the current user's registry on Windows, a plain store natively.
#pragma once
#include <map>
#include <optional>
#include <string>

namespace zk {

class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    // Opens (or creates) the settings key; false when neither works.
    virtual bool Open() = 0;
    virtual std::optional<std::wstring> Read(const std::wstring& name) = 0;
    virtual bool Write(const std::wstring& name, const std::wstring& value) = 0;
    virtual void Close() = 0;
};

// A store held in memory (tests, and platforms without a registry).
class MemorySettingsStore final : public ISettingsStore {
public:
    bool Open() override { return available; }
    std::optional<std::wstring> Read(const std::wstring& name) override {
        auto it = values.find(name);
        return it == values.end() ? std::nullopt : std::optional<std::wstring>(it->second);
    }
    bool Write(const std::wstring& name, const std::wstring& value) override {
        values[name] = value;
        ++writes;
        return true;
    }
    void Close() override {}

    bool available = true;
    int writes = 0;
    std::map<std::wstring, std::wstring> values;
};

}  // namespace zk
