#include "base/codepage.h"

#include <windows.h>

namespace zk {

bool WideToCodePage(unsigned codePage, std::wstring_view text, std::string& out, uint32_t* osError) {
    out.clear();
    if (text.empty()) return true;
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
        if (osError) *osError = GetLastError();
        return false;
    }
    out.resize(static_cast<size_t>(n));
    if (WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr) != n) {
        if (osError) *osError = GetLastError();
        out.clear();
        return false;
    }
    return true;
}

bool CodePageToWide(unsigned codePage, std::string_view bytes, std::wstring& out, uint32_t* osError) {
    out.clear();
    if (bytes.empty()) return true;
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) {
        if (osError) *osError = GetLastError();
        return false;
    }
    out.resize(static_cast<size_t>(n));
    if (MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n) != n) {
        if (osError) *osError = GetLastError();
        out.clear();
        return false;
    }
    return true;
}

}  // namespace zk
