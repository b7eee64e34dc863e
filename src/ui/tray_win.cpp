// The notification-area icon and where it is on the screen.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>

#include "ui/zk_window_win.h"

namespace zk {
namespace {

using UniqueProcess = UniqueHandle<HANDLE, &CloseHandle>;

// Memory allocated inside another process, freed on scope exit.
class ForeignMemory {
public:
    ForeignMemory(HANDLE process, SIZE_T size)
        : m_process(process), m_p(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
    ~ForeignMemory() {
        if (m_p) VirtualFreeEx(m_process, m_p, 0, MEM_RELEASE);
    }
    ForeignMemory(const ForeignMemory&) = delete;
    ForeignMemory& operator=(const ForeignMemory&) = delete;
    void* get() const { return m_p; }

private:
    HANDLE m_process;
    void* m_p;
};

// Walks the shell's tray toolbar for this program's button; true when its rectangle was found.
bool FindButton(HWND toolbar, HWND owner, RECT& rect) {
    const LRESULT count = SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0);
    DWORD pid = 0;
    GetWindowThreadProcessId(toolbar, &pid);
    UniqueProcess process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid));
    if (!process || count <= 0) return false;
    ForeignMemory buffer(process.get(), sizeof(TBBUTTON) > sizeof(RECT) ? sizeof(TBBUTTON) : sizeof(RECT));
    if (!buffer.get()) return false;
    for (LRESULT i = 0; i < count; ++i) {
        if (!SendMessageW(toolbar, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer.get()))) continue;
        TBBUTTON button{};
        SIZE_T read = 0;
        if (!ReadProcessMemory(process.get(), buffer.get(), &button, sizeof(button), &read)) continue;
        struct {
            HWND hwnd;
            UINT id;
        } data{};
        if (!button.dwData || !ReadProcessMemory(process.get(), reinterpret_cast<void*>(button.dwData), &data, sizeof(data), &read))
            continue;
        if (data.hwnd != owner || data.id != 0) continue;
        if (button.fsState & TBSTATE_HIDDEN) return false;
        if (!SendMessageW(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer.get()))) return false;
        RECT r{};
        if (!ReadProcessMemory(process.get(), buffer.get(), &r, sizeof(r), &read)) return false;
        MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&r), 2);
        rect = r;
        return true;
    }
    return false;
}

}  // namespace

bool CZKWindow::TrayIcon(DWORD command, HICON icon, const wchar_t* tip) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof(nid);
    nid.hWnd = m_main;
    nid.uID = 0;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = kTrayMessage;
    nid.hIcon = icon;
    if (tip) wcsncpy(nid.szTip, tip, 127);
    return Shell_NotifyIconW(command, &nid) != FALSE;
}

void CZKWindow::OnTaskbarCreated() {
    if (!m_main) return;
    TrayIcon(NIM_ADD, m_icon.get(), kMainTitle);
    FindTrayRect(m_trayRect);
    if (m_agent && m_agent->Rows().CurrentPage() > 0) PlaceAboveTray();
}

bool CZKWindow::FindTrayRect(RECT& rect) {
    HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
    if (tray) {
        HWND notify = FindWindowExW(tray, nullptr, L"TrayNotifyWnd", nullptr);
        HWND toolbar = notify ? FindWindowExW(notify, nullptr, L"ToolbarWindow32", nullptr) : nullptr;
        HWND deepest = toolbar ? toolbar : notify ? notify : tray;
        GetWindowRect(deepest, &rect);
        if (toolbar) FindButton(toolbar, m_main, rect);
        return true;
    }
    // No shell tray (as under Wine without a desktop): the corner of the work area stands in.
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    rect = {work.right - 40, work.bottom - 4, work.right - 24, work.bottom};
    return false;
}

}  // namespace zk
