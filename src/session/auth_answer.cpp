#include "session/auth_answer.h"

#include "base/utf16.h"

namespace zk {

std::wstring TextBetween(const std::wstring& text, const std::wstring& open, const std::wstring& close) {
    const size_t a = text.find(open);
    if (a == std::wstring::npos) return {};
    const size_t start = a + open.size();
    const size_t b = text.find(close, start);
    if (b == std::wstring::npos) return {};
    return text.substr(start, b - start);
}

std::wstring TagAttribute(const std::wstring& text, const std::wstring& tag, const std::wstring& name) {
    const size_t t = text.find(tag);
    if (t == std::wstring::npos) return {};
    const std::wstring key = name + L"=\"";
    const size_t a = text.find(key, t + tag.size());
    if (a == std::wstring::npos) return {};
    const size_t start = a + key.size();
    const size_t q = text.find(L'"', start);
    if (q == std::wstring::npos) return {};
    return text.substr(start, q - start);
}

bool ErrorReport(const std::wstring& text, std::wstring& message) {
    message = TextBetween(text, L"<ERROR", L"</ERROR>");
    if (message.empty()) return false;
    const size_t gt = message.find(L'>');
    if (gt != std::wstring::npos) message.erase(0, gt + 1);
    return true;
}

std::vector<std::pair<std::wstring, std::wstring>> ParseParams(const std::wstring& text) {
    std::vector<std::pair<std::wstring, std::wstring>> out;
    std::wstring w = text;
    for (;;) {
        const size_t open = w.find(L"<PARAM");
        const size_t close = w.find(L"</PARAM>");
        if (open == std::wstring::npos || close == std::wstring::npos) break;
        const std::wstring element = close > open ? w.substr(open, close - open) : std::wstring();
        std::wstring name = TagAttribute(w, L"<PARAM", L"name");
        if (name.empty()) break;
        const size_t cdata = element.find(L"<![CDATA[");
        if (cdata == std::wstring::npos) break;
        const size_t end = element.find(L"]]>", cdata + 9);
        if (end == std::wstring::npos) break;
        std::wstring value = element.substr(cdata + 9, end - cdata - 9);
        out.emplace_back(ToUpper(TrimSpaces(name)), TrimSpaces(value));
        w = w.substr(close + 8);
    }
    return out;
}

}  // namespace zk
