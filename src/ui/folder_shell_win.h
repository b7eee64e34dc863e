// The file manager as the window object uses it: one seam, so the window tests can record
// which folder the tray menu's folder items asked for without starting Explorer.
#pragma once
#include <windows.h>

#include <string>

namespace zk {

class IFolderShell {
public:
    virtual ~IFolderShell() = default;
    // Shows the folder in a file manager window; false when none could be started on it.
    [[nodiscard]] virtual bool OpenFolder(HWND owner, const std::wstring& folder) = 0;
};

// The shell's "open" verb on the folder (ShellExecuteW), as Explorer's own double click does.
class CSystemFolderShell final : public IFolderShell {
public:
    [[nodiscard]] bool OpenFolder(HWND owner, const std::wstring& folder) override;
};

}  // namespace zk
