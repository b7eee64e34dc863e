// Byte encodings of the wire: the client's ANSI code page, UTF-8, and URL encoding on top of
// either (one UTF-16 unit at a time). Callers size the buffer with the matching *Len first.
#pragma once
#include <cstdint>

namespace zk {

class CHttpEncoderW {
public:
    static uint32_t AnsiEncodeLen(unsigned codePage, const wchar_t* text);
    // Writes the conversion and its NUL; `buffer` holds AnsiEncodeLen + 1 bytes.
    static void AnsiEncode(unsigned codePage, const wchar_t* text, char* buffer);
    static uint32_t Utf8EncodeLen(const wchar_t* text);
    static void Utf8Encode(const wchar_t* text, char* buffer);
    // Characters of the URL-encoded form (without NUL).
    static uint32_t UrlEncodeLen(const wchar_t* text, bool useUtf8, unsigned codePage);
    // Writes the URL-encoded form and its NUL; `buffer` holds UrlEncodeLen + 1 characters.
    static void UrlEncodeW(const wchar_t* text, wchar_t* buffer, bool useUtf8, unsigned codePage);
};

// Encoded length of a NUL-terminated byte string: 1 for a letter, digit or space, 3 otherwise.
uint32_t _UrlEncodeLen(const char* bytes);

}  // namespace zk
