// Conversion between wide text and a narrow code page (1251 for the service, 65001 for UTF-8,
// 0 for the system ANSI code page). Unmappable characters become '?', as the platform does
// without a default-character option.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace zk {

inline constexpr unsigned kCodePageAnsi = 0;
inline constexpr unsigned kCodePageUtf8 = 65001;
inline constexpr unsigned kCodePageUtf7 = 65000;
inline constexpr unsigned kCodePage1251 = 1251;

// False when the platform refuses the conversion; `osError` then holds its error number.
[[nodiscard]] bool WideToCodePage(unsigned codePage, std::wstring_view text, std::string& out, uint32_t* osError = nullptr);
[[nodiscard]] bool CodePageToWide(unsigned codePage, std::string_view bytes, std::wstring& out, uint32_t* osError = nullptr);

}  // namespace zk
