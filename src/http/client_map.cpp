#include "http/client_map.h"

#include <algorithm>
#include <limits>

#include "base/utf16.h"
#include "http/http_errors.h"

namespace zk {
namespace {
bool LessNoCase(const std::wstring& a, const std::wstring& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const wchar_t x = FoldCase(a[i]), y = FoldCase(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}
}  // namespace

void CHttpClientMapT::Insert(std::wstring name, std::optional<std::wstring> value, uint32_t flags) {
    if (m_entries.size() >= std::numeric_limits<uint32_t>::max()) ThrowHttpArithmetic(ArithFailure::Overflow);
    // After every entry of an equal name: equal names stay in the order added.
    auto it = std::upper_bound(m_entries.begin(), m_entries.end(), name,
                               [](const std::wstring& n, const Entry& e) { return LessNoCase(n, e.name); });
    m_entries.insert(it, Entry{std::move(name), std::move(value), flags});
}

void CHttpClientMapT::Add(const wchar_t* szName, const wchar_t* szValue, uint32_t flags) {
    if (!szName) ThrowHttpPrecondition("CHttpClientMapT::Add: szName can not be NULL.");
    Insert(szName, szValue ? std::optional<std::wstring>(szValue) : std::nullopt, flags);
}

void CHttpClientMapT::AddPointerDirectly(std::unique_ptr<wchar_t[]> szName, std::unique_ptr<wchar_t[]> szValue, uint32_t flags) {
    if (!szName) ThrowHttpPrecondition("CHttpClientMapT::AddPointerDirectly: szName can not be NULL.");
    Insert(szName.get(), szValue ? std::optional<std::wstring>(szValue.get()) : std::nullopt, flags);
}

const CHttpClientMapT::Entry* CHttpClientMapT::Get(const wchar_t* szName) const {
    if (!szName) ThrowHttpPrecondition("CHttpClientMapT::Get: szName can not be NULL.");
    for (const auto& e : m_entries)
        if (EqualsNoCase(e.name, szName)) return &e;
    return nullptr;
}

uint32_t CHttpClientMapT::Count(const wchar_t* szName) const {
    if (!szName) return static_cast<uint32_t>(m_entries.size());
    return static_cast<uint32_t>(std::count_if(m_entries.begin(), m_entries.end(),
                                               [&](const Entry& e) { return EqualsNoCase(e.name, szName); }));
}

void CHttpClientMapT::RemoveAll(const wchar_t* szName) {
    if (!szName) ThrowHttpPrecondition("CHttpClientMapT::RemoveAll: szName can not be NULL.");
    std::erase_if(m_entries, [&](const Entry& e) { return EqualsNoCase(e.name, szName); });
}

}  // namespace zk
