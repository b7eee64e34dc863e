#include "session/session_encoders.h"

#include <cstdio>

#include "base/codepage.h"
#include "base/utf16.h"
#include "session/session_codes.h"

namespace zk {

std::wstring SessionUrlEncode(const std::wstring& text) {
    std::wstring out;
    for (char16_t c : ToUtf16(text)) {
        if (c == u' ') {
            out.push_back(L'+');
        } else if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) {
            out.push_back(static_cast<wchar_t>(c));
        } else {
            unsigned b;
            if (c == 0x0401) b = 0xA8;
            else if (c == 0x0451) b = 0xB8;
            else if (c >= 0x21 && c <= 0x7E) b = c;
            else b = static_cast<unsigned>(c - 0x50) & 0xFF;
            wchar_t piece[8];
            std::swprintf(piece, 8, L"%%%X", b);
            out += piece;
        }
    }
    return out;
}

std::wstring Base64Encode(const std::wstring& text) {
    std::string bytes;
    (void)WideToCodePage(kSessionCodePage, text, bytes);
    static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::wstring out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8) | uint8_t(bytes[i + 2]);
        out += {wchar_t(a[v >> 18]), wchar_t(a[(v >> 12) & 63]), wchar_t(a[(v >> 6) & 63]), wchar_t(a[v & 63])};
    }
    if (i + 1 == bytes.size()) {
        const uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
        out += {wchar_t(a[v >> 18]), wchar_t(a[(v >> 12) & 63]), L'=', L'='};
    } else if (i + 2 == bytes.size()) {
        const uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8);
        out += {wchar_t(a[v >> 18]), wchar_t(a[(v >> 12) & 63]), wchar_t(a[(v >> 6) & 63]), L'='};
    }
    return out;
}

}  // namespace zk
