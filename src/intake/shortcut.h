// Shell shortcuts (.lnk): resolving one to its target and creating one. On Windows through COM
// (IShellLinkW, IPersistFile); natively resolution always fails, so ".lnk" files are plain files.
#pragma once
#include <cstdint>
#include <string>

namespace zk {

struct ShortcutInfo {
    std::wstring target;       // at most 260 characters
    std::wstring description;  // at most 260 characters
    uint64_t targetSize = 0;   // as recorded in the shortcut's file data
};

inline constexpr int32_t kHrOk = 0;

// Loads, resolves (no UI, any match) and reads a shortcut; gives the status of the last step.
int32_t ResolveShortcut(const std::wstring& path, ShortcutInfo& info);
// True for a name of at least 5 characters ending in ".lnk" (exactly these letters) that
// resolves with S_OK.
bool IsResolvableShortcut(const std::wstring& path, ShortcutInfo& info);
// Saves a shortcut to `target` at `shortcutPath`; gives the status of the last step performed.
int32_t CreateShortcut(const std::wstring& target, const std::wstring& shortcutPath);

}  // namespace zk
