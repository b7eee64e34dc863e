// Ordered name/value multimap of the HTTP client: request headers, request parameters and the
// response's header cache. Names compare without regard to case; equal names keep the order
// in which they were added.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zk {

class CHttpClientMapT {
public:
    struct Entry {
        std::wstring name;
        std::optional<std::wstring> value;  // null reads as the empty text
        uint32_t flags = 0;
        [[nodiscard]] const wchar_t* ValueOrEmpty() const { return value ? value->c_str() : L""; }
    };

    CHttpClientMapT() = default;
    virtual ~CHttpClientMapT() = default;

    void Add(const wchar_t* szName, const wchar_t* szValue, uint32_t flags = 0);
    // Takes ownership of the given buffers.
    void AddPointerDirectly(std::unique_ptr<wchar_t[]> szName, std::unique_ptr<wchar_t[]> szValue, uint32_t flags = 0);
    // The first entry of that name, or null.
    [[nodiscard]] const Entry* Get(const wchar_t* szName) const;
    // Entries of that name, or all entries for a null name.
    [[nodiscard]] uint32_t Count(const wchar_t* szName = nullptr) const;
    void RemoveAll(const wchar_t* szName);
    void Clear() { m_entries.clear(); }
    [[nodiscard]] bool Empty() const { return m_entries.empty(); }
    // In map order.
    [[nodiscard]] const std::vector<Entry>& Entries() const { return m_entries; }

private:
    void Insert(std::wstring name, std::optional<std::wstring> value, uint32_t flags);
    std::vector<Entry> m_entries;  // kept sorted by folded name, stable
};

}  // namespace zk
