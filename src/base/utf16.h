// UTF-16 code units and UTF-8 from std::wstring, identical on both builds
// (wchar_t is 16 bits on Windows and 32 bits on Linux).
#pragma once
#include <string>
#include <string_view>

namespace zk {

// The UTF-16 code units of a wide string; code points above U+FFFF become surrogate pairs.
std::u16string ToUtf16(std::wstring_view text);
// Back from UTF-16 units; an unpaired surrogate is kept as it is.
std::wstring FromUtf16(std::u16string_view units);

// Standard UTF-8 of a wide string (surrogate pairs joined).
std::string ToUtf8(std::wstring_view text);
// Wide string from UTF-8; invalid bytes become U+FFFD.
std::wstring FromUtf8(std::string_view bytes);

// Case-insensitive equality as the user expects for settings keys, extensions and paths:
// ASCII letters and the Cyrillic block fold together.
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
wchar_t FoldCase(wchar_t c);
std::wstring ToUpper(std::wstring_view text);
std::wstring ToLower(std::wstring_view text);
// Trims U+0020 at both ends.
std::wstring TrimSpaces(std::wstring_view text);

}  // namespace zk
