// The session's own encoders: URL encoding per UTF-16 unit into windows-1251 codes, and Base64.
#pragma once
#include <string>

namespace zk {

// Space -> "+", ASCII letters and digits as they are, Ё/ё -> %A8/%B8, other printable ASCII its
// own code, every other unit the low 8 bits of (unit - 0x50) (Cyrillic -> its 1251 code).
std::wstring SessionUrlEncode(const std::wstring& text);
// Standard Base64 (RFC 4648, "=" padding) of the text in code page 1251.
std::wstring Base64Encode(const std::wstring& text);

}  // namespace zk
