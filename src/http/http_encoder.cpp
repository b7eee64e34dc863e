#include "http/http_encoder.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "base/codepage.h"
#include "base/utf16.h"
#include "http/http_errors.h"
#include "http/safe_int.h"

namespace zk {
namespace {

void CheckAnsi(unsigned codePage, const char* text) {
    if (codePage == kCodePageUtf8 || codePage == kCodePageUtf7) ThrowHttpPrecondition(text);
}

std::string Convert(unsigned codePage, const wchar_t* text) {
    std::string out;
    uint32_t err = 0;
    if (!WideToCodePage(codePage, text, out, &err)) ThrowHttpCodeOs(kHttpErrWideToMulti, err);
    return out;
}

bool Plain(unsigned char b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9'); }

// The bytes of one UTF-16 unit converted by itself.
std::string UnitBytes(char16_t unit, bool useUtf8, unsigned codePage) {
    const std::wstring one = FromUtf16(std::u16string(1, unit));
    std::string out;
    uint32_t err = 0;
    if (!WideToCodePage(useUtf8 ? kCodePageUtf8 : codePage, one, out, &err)) ThrowHttpCodeOs(kHttpErrWideToMulti, err);
    if (out.size() > 6) out.resize(6);  // scratch buffer of 7 bytes with its NUL
    return out;
}

}  // namespace

uint32_t CHttpEncoderW::AnsiEncodeLen(unsigned codePage, const wchar_t* text) {
    CheckAnsi(codePage, "CHttpEncoderW::AnsiEncodeLen: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
    if (!text || !*text) return 0;
    return SafeLen(Convert(codePage, text).size());
}

void CHttpEncoderW::AnsiEncode(unsigned codePage, const wchar_t* text, char* buffer) {
    CheckAnsi(codePage, "CHttpEncoderW::AnsiEncode: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
    if (!buffer) ThrowHttpPrecondition("CHttpEncoderW::AnsiEncode: szBuff can not be NULL.");
    if (!text || !*text) {
        buffer[0] = '\0';
        return;
    }
    const std::string s = Convert(codePage, text);
    std::memcpy(buffer, s.c_str(), s.size() + 1);
}

uint32_t CHttpEncoderW::Utf8EncodeLen(const wchar_t* text) {
    if (!text || !*text) return 0;
    return SafeLen(ToUtf8(text).size());
}

void CHttpEncoderW::Utf8Encode(const wchar_t* text, char* buffer) {
    if (!buffer) ThrowHttpPrecondition("CHttpEncoderW::Utf8Encode: szBuff can not be NULL.");
    if (!text || !*text) {
        buffer[0] = '\0';
        return;
    }
    const std::string s = ToUtf8(text);
    std::memcpy(buffer, s.c_str(), s.size() + 1);
}

uint32_t _UrlEncodeLen(const char* bytes) {
    if (!bytes) ThrowHttpPrecondition("_UrlEncodeLen: szStr can not be NULL.");
    uint32_t n = 0;
    for (const char* p = bytes; *p; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        n = SafeAdd(n, (Plain(b) || b == ' ') ? 1u : 3u);
    }
    return n;
}

uint32_t CHttpEncoderW::UrlEncodeLen(const wchar_t* text, bool useUtf8, unsigned codePage) {
    if (!text || !*text) return 0;
    uint32_t n = 0;
    for (char16_t unit : ToUtf16(text)) n = SafeAdd(n, _UrlEncodeLen(UnitBytes(unit, useUtf8, codePage).c_str()));
    return n;
}

void CHttpEncoderW::UrlEncodeW(const wchar_t* text, wchar_t* buffer, bool useUtf8, unsigned codePage) {
    if (!buffer) ThrowHttpPrecondition("CHttpEncoderW::UrlEncodeW: szBuff can not be NULL.");
    static const wchar_t* hex = L"0123456789ABCDEF";
    wchar_t* out = buffer;
    if (text) {
        for (char16_t unit : ToUtf16(text)) {
            for (char c : UnitBytes(unit, useUtf8, codePage)) {
                const auto b = static_cast<unsigned char>(c);
                if (Plain(b)) {
                    *out++ = static_cast<wchar_t>(b);
                } else if (b == ' ') {
                    *out++ = L'+';
                } else {
                    *out++ = L'%';
                    *out++ = hex[b >> 4];
                    *out++ = hex[b & 15];
                }
            }
        }
    }
    *out = L'\0';
}

}  // namespace zk
