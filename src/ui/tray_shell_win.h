// The shell's notification area as the window object uses it: one seam, so the window tests
// can record what the icon was told and stand in for a shell that is not ready yet.
#pragma once
#include <windows.h>
#include <shellapi.h>

namespace zk {

// The data block addressed to the agent's one icon (id 0 of the hidden main window).
inline NOTIFYICONDATAW TrayIconData(HWND main) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof(nid);
    nid.hWnd = main;
    nid.uID = 0;
    return nid;
}

class ITrayShell {
public:
    virtual ~ITrayShell() = default;
    virtual bool NotifyIcon(DWORD message, NOTIFYICONDATAW& data) = 0;
    // The icon's screen rectangle as the shell knows it; false where it cannot tell.
    virtual bool IconRect(HWND owner, UINT id, RECT& rect) = 0;
};

// The real shell (Shell_NotifyIconW, Shell_NotifyIconGetRect).
class CSystemTrayShell final : public ITrayShell {
public:
    bool NotifyIcon(DWORD message, NOTIFYICONDATAW& data) override { return Shell_NotifyIconW(message, &data) != FALSE; }
    bool IconRect(HWND owner, UINT id, RECT& rect) override {
        NOTIFYICONIDENTIFIER nii{};
        nii.cbSize = sizeof(nii);
        nii.hWnd = owner;
        nii.uID = id;
        return SUCCEEDED(Shell_NotifyIconGetRect(&nii, &rect)) && rect.right > rect.left && rect.bottom > rect.top;
    }
};

}  // namespace zk
