// The order a drop makes: a folder in the audit folder holding one shortcut per accepted file,
// filled under a "TMPUPLOAD_" name (which the folder audit ignores) and renamed when complete.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "intake/shortcut.h"

namespace zk {

// Upper-case hexadecimal of the low 32 bits of seconds + milliseconds since start.
std::wstring DropOrderName(int64_t seconds, uint32_t ticks);

struct DropOrderResult {
    bool folderCreated = false;
    int accepted = 0;                  // shortcuts made
    std::vector<std::wstring> failed;  // accepted paths whose shortcut could not be made
    std::wstring finalFolder;          // set when the order was moved to its final name
    std::wstring tempFolder;
};

// Makes a shortcut to `target` at `shortcutPath`; gives a status (0 is success).
using ShortcutMaker = std::function<int32_t(const std::wstring& target, const std::wstring& shortcutPath)>;

// The shortcut's path in `folder` for a dropped file named `fileName`: fileName + ".lnk", or,
// when that exists (two dropped files of one name from different folders), fileName with
// " (2)", " (3)", ... before its extension.
std::wstring UniqueShortcutPath(const std::wstring& folder, const std::wstring& fileName);

// `accept` is the extension test; `afterFile` runs after each dropped path (accepted or not).
DropOrderResult BuildDropOrder(const std::wstring& auditFolder, const std::vector<std::wstring>& paths,
                               const std::function<bool(const std::wstring&)>& accept, const std::function<void()>& afterFile,
                               const IClock& clock, const ShortcutMaker& makeShortcut = CreateShortcut);

}  // namespace zk
