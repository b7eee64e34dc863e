// Path texts as the agent builds them: folder paths with the platform separator, task names
// ending with one separator. Helpers work on the text only.
#pragma once
#include <string>
#include <string_view>

namespace zk {

#if defined(_WIN32)
inline constexpr wchar_t kPathSep = L'\\';
#else
inline constexpr wchar_t kPathSep = L'/';
#endif

// Text after the last separator (the whole text when there is none).
std::wstring FileNamePart(std::wstring_view path);
// The name of the last folder of a folder path such as a task name (trailing separators aside).
std::wstring FolderName(std::wstring_view folder);
// Text up to and including the last separator (empty when there is none).
std::wstring FolderPart(std::wstring_view path);
// Removes every trailing separator; true when any was removed.
bool StripTrailingSeparators(std::wstring& path);
// `folder` + one separator (unless it already ends with one) + `name`.
std::wstring JoinPath(std::wstring_view folder, std::wstring_view name);
// Ensures exactly the given text ends with a separator.
std::wstring WithTrailingSeparator(std::wstring_view folder);

}  // namespace zk
