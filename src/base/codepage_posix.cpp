// Native twin of the platform code-page conversion: UTF-8 and windows-1251 from a table.
// The system ANSI code page (0) is taken as 1251, the code page of the machines the agent serves.
#include "base/codepage.h"

#include <cerrno>

#include "base/utf16.h"

namespace zk {
namespace {

// Unicode of the bytes 0x80-0xBF of windows-1251; 0xC0-0xFF are U+0410-U+044F.
constexpr char16_t k1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

char To1251(char16_t u) {
    if (u < 0x80) return static_cast<char>(u);
    if (u >= 0x0410 && u <= 0x044F) return static_cast<char>(0xC0 + (u - 0x0410));
    for (int i = 0; i < 64; ++i)
        if (k1251High[i] == u) return static_cast<char>(0x80 + i);
    return '?';
}

char16_t From1251(unsigned char b) {
    if (b < 0x80) return b;
    if (b >= 0xC0) return static_cast<char16_t>(0x0410 + (b - 0xC0));
    return k1251High[b - 0x80];
}

bool Supported(unsigned cp) { return cp == kCodePageAnsi || cp == kCodePage1251 || cp == kCodePageUtf8; }

}  // namespace

bool WideToCodePage(unsigned codePage, std::wstring_view text, std::string& out, uint32_t* osError) {
    out.clear();
    if (!Supported(codePage)) {
        if (osError) *osError = EINVAL;
        return false;
    }
    if (codePage == kCodePageUtf8) {
        out = ToUtf8(text);
        return true;
    }
    const std::u16string units = ToUtf16(text);
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        // A surrogate pair is one character: one '?'.
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) ++i;
        out.push_back(To1251(u));
    }
    return true;
}

bool CodePageToWide(unsigned codePage, std::string_view bytes, std::wstring& out, uint32_t* osError) {
    out.clear();
    if (!Supported(codePage)) {
        if (osError) *osError = EINVAL;
        return false;
    }
    if (codePage == kCodePageUtf8) {
        out = FromUtf8(bytes);
        return true;
    }
    std::u16string units;
    units.reserve(bytes.size());
    for (char c : bytes) units.push_back(From1251(static_cast<unsigned char>(c)));
    out = FromUtf16(units);
    return true;
}

}  // namespace zk
