// The notification-area icon: adding it (again after a shell restart, and until a shell that is
// not ready yet takes it), its look and tip from the tray status, and where it is on the screen.
// Thread: the main thread; the tray status hands over its state under its own lock.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>

#include "ui/zk_window_win.h"

namespace zk {
namespace {

constexpr UINT kTrayRetryMs = 2000;
// The icon and its tip change at most four times a second, however busy the queue.
constexpr DWORD kTrayStateGapMs = 250;

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

bool IsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

}  // namespace

bool CZKWindow::TrayIcon(DWORD command, HICON icon, const wchar_t* tip) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof(nid);
    nid.hWnd = m_main;
    nid.uID = 0;
    // Version 4 hides the standard tip unless asked for it.
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    nid.uCallbackMessage = kTrayMessage;
    nid.hIcon = icon;
    if (tip) wcsncpy(nid.szTip, tip, 127);
    return m_shell->NotifyIcon(command, nid);
}

void CZKWindow::AddTrayIcon() {
    if (!m_main) return;
    const TrayState state = m_trayShown.value_or(TrayState{});
    m_trayAdded = TrayIcon(NIM_ADD, TrayIconFor(state.look), m_trayShown ? TrayTip(state).c_str() : kMainTitle);
    if (!m_trayAdded) {
        // At log-on the shell may not be ready yet: ask again until it takes the icon.
        SetTimer(m_main, kTrayRetryTimer, kTrayRetryMs, nullptr);
        return;
    }
    KillTimer(m_main, kTrayRetryTimer);
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof(nid);
    nid.hWnd = m_main;
    nid.uID = 0;
    nid.uVersion = NOTIFYICON_VERSION_4;
    m_trayVersion4 = m_shell->NotifyIcon(NIM_SETVERSION, nid);
}

void CZKWindow::OnTaskbarCreated() {
    if (!m_main) return;
    AddTrayIcon();
    if (m_agent && m_agent->Rows().CurrentPage() > 0) Relayout(PlaceAboveTray());
}

void CZKWindow::OnTrayState() {
    if (m_trayTimerArmed) return;  // the timer takes the latest state when it fires
    const DWORD since = GetTickCount() - m_trayApplied;
    if (m_trayShown && since < kTrayStateGapMs) {
        SetTimer(m_main, kTrayStateTimer, kTrayStateGapMs - since, nullptr);
        m_trayTimerArmed = true;
        return;
    }
    ApplyTrayState();
}

void CZKWindow::ApplyTrayState() {
    if (!m_agent || !m_main) return;
    const TrayState state = m_agent->TrayStatus().Take();
    if (m_trayShown && *m_trayShown == state) return;
    m_trayShown = state;
    m_trayApplied = GetTickCount();
    if (m_trayAdded) TrayIcon(NIM_MODIFY, TrayIconFor(state.look), TrayTip(state).c_str());
}

HICON CZKWindow::TrayIconFor(TrayLook look) const {
    if (look == TrayLook::kSending && m_iconSending) return m_iconSending.get();
    if (look == TrayLook::kAttention && m_iconAttention) return m_iconAttention.get();
    return m_icon.get();
}

RECT CZKWindow::TrayIconRect() {
    RECT rect{};
    if (m_main && m_shell->IconRect(m_main, 0, rect)) return rect;
    FindTrayRect(rect);
    return rect;
}

bool CZKWindow::FindTrayRect(RECT& rect) {
    HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
    RECT found{};
    if (tray) {
        HWND notify = FindWindowExW(tray, nullptr, L"TrayNotifyWnd", nullptr);
        HWND toolbar = notify ? FindWindowExW(notify, nullptr, L"ToolbarWindow32", nullptr) : nullptr;
        HWND deepest = toolbar ? toolbar : notify ? notify : tray;
        GetWindowRect(deepest, &found);
        if (toolbar) FindButton(toolbar, m_main, found);
    }
    if (tray && !IsEmpty(found)) {
        rect = found;
        return true;
    }
    // No shell tray, or one that is not on the screen (Wine's hidden one): the bottom right
    // corner of the work area stands in, where the tray is on most desktops.
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    rect = {work.right - 40, work.bottom - 4, work.right - 24, work.bottom};
    return false;
}

}  // namespace zk
