#include "intake/shortcut.h"

namespace zk {

bool IsResolvableShortcut(const std::wstring& path, ShortcutInfo& info) {
    if (path.size() < 5 || path.compare(path.size() - 4, 4, L".lnk") != 0) return false;
    return ResolveShortcut(path, info) == kHrOk;
}

}  // namespace zk
