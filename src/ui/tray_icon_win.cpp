// The hidden main window with the tray icon and menu. Thread: the main thread; the tray status
// hands over its state under its own lock.
#include "ui/tray_icon_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>

#include "app/res/resource_ids.h"

namespace zk {
namespace {

constexpr UINT_PTR kRetryTimer = 1, kStateTimer = 2;
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

// Every menu of the icon: no check marks, and WM_MENUCOMMAND with the item's position.
void SetMenuStyle(HMENU menu) {
    MENUINFO mi{};
    mi.cbSize = sizeof(mi);
    mi.fMask = MIM_STYLE;
    mi.dwStyle = MNS_NOCHECK | MNS_NOTIFYBYPOS;
    SetMenuInfo(menu, &mi);
}

}  // namespace

bool TrayIcon::Create(HINSTANCE instance, const std::wstring& agentClass) {
    WNDCLASSEXW wc{};
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_AGENT));
    wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_AGENT_SMALL));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = agentClass.c_str();
    RegisterWindowClass(wc);
    if (!CreateWindowOf(0, agentClass.c_str(), kMainTitle, WS_POPUP, RECT{}, nullptr, instance)) return false;
    m_menu.reset(CreatePopupMenu());
    if (!m_menu) return false;
    SetMenuStyle(m_menu.get());
    // The small-icon size of the system's DPI, drawn from the multi-size icons, never stretched.
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    const auto load = [&](int id) { return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR)); };
    m_icon.reset(load(IDI_AGENT));
    m_iconSending.reset(load(IDI_TRAY_SENDING));
    m_iconAttention.reset(load(IDI_TRAY_ATTENTION));
    m_iconPaused.reset(load(IDI_TRAY_PAUSED));
    Add();
    const HWND main = Handle();
    ShowWindow(main, SW_SHOWMINIMIZED);
    ShowWindow(main, SW_HIDE);
    UpdateWindow(main);
    return true;
}

void TrayIcon::AppendMenuItem(UINT id, const std::wstring& text) { AppendMenuW(m_menu.get(), MF_STRING, id, text.c_str()); }

void TrayIcon::AppendSendingItems(bool paused) {
    m_pausePosition = GetMenuItemCount(m_menu.get());
    AppendMenuW(m_menu.get(), MF_STRING, kMenuResume, kResumeMenuText);  // a place, set below
    SetPaused(paused);
    AppendMenuItem(kMenuSendNow, kSendNowMenuText);
}

void TrayIcon::SetPaused(bool paused) {
    if (m_pausePosition < 0) return;
    const auto at = static_cast<UINT>(m_pausePosition);
    DeleteMenu(m_menu.get(), at, MF_BYPOSITION);  // a submenu there goes with it
    if (paused) {
        InsertMenuW(m_menu.get(), at, MF_BYPOSITION | MF_STRING, kMenuResume, kResumeMenuText);
        return;
    }
    UniqueHmenu lengths(CreatePopupMenu());
    if (!lengths) return;
    SetMenuStyle(lengths.get());
    for (PauseChoice c : {PauseChoice::kQuarterHour, PauseChoice::kHour, PauseChoice::kUntilMorning, PauseChoice::kUntilResumed})
        AppendMenuW(lengths.get(), MF_STRING, MenuIdOf(c), MenuTextOf(c).c_str());
    // Once inserted, the menu owns its submenu and destroys it with itself.
    if (InsertMenuW(m_menu.get(), at, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(lengths.get()), kPauseMenuText))
        (void)lengths.release();
}

LRESULT TrayIcon::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    const HWND hwnd = Handle();
    if (msg == m_taskbarCreated && m_taskbarCreated != 0) {
        Add();
        m_owner.OnIconAddedAgain();
        return 0;
    }
    switch (msg) {
        case WM_DESTROY:
            m_owner.OnMainDestroyed();
            KillTimer(hwnd, kRetryTimer);
            KillTimer(hwnd, kStateTimer);
            Notify(NIM_DELETE, nullptr, nullptr);
            m_added = false;
            m_menu.reset();
            PostQuitMessage(0);
            break;
        case WM_MENUCOMMAND:
            OnMenuCommand(GetMenuItemID(reinterpret_cast<HMENU>(lp), static_cast<int>(wp)));
            break;
        case WM_CLOSE:
            m_owner.OnExitChosen();
            return 0;
        case kTrayMessage:
            OnTray(wp, lp);
            break;
        case kTrayStateMessage:
            OnState();
            return 0;
        case kNotifyMessage:
            OnNotify();
            return 0;
        case WM_TIMER:
            if (wp == kRetryTimer) {
                Add();
            } else if (wp == kStateTimer) {
                KillTimer(hwnd, kStateTimer);
                m_timerArmed = false;
                ApplyState();
            }
            return 0;
        case kWakeMessage:
            m_owner.OnSecondStart();
            break;
        default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void TrayIcon::OnMenuCommand(UINT id) {
    if (id == 0) m_owner.OnExitChosen();
    else if (const std::optional<FolderItem> item = FolderItemOf(id)) m_owner.OnFolderChosen(*item);
    else if (PauseChoiceOf(id) || id == kMenuResume || id == kMenuSendNow) m_owner.OnSendingChosen(id);
    else if (id != static_cast<UINT>(-1)) m_owner.OnPageChosen(static_cast<int>(id));
}

void TrayIcon::OnTray(WPARAM wp, LPARAM lp) {
    if (m_version4) {
        // Version 4: the event in the low word, the anchor point (screen) in wParam. The mouse
        // clicks also arrive as plain button messages, which are left to NIN_SELECT and
        // WM_CONTEXTMENU so that each click acts once.
        const UINT event = LOWORD(lp);
        const POINT anchor{static_cast<short>(LOWORD(wp)), static_cast<short>(HIWORD(wp))};
        if (event == NIN_SELECT || event == NIN_KEYSELECT) m_owner.OnIconSelected();
        else if (event == NIN_BALLOONUSERCLICK) m_owner.OnNotificationClicked(m_noticeKeys);
        else if (event == WM_CONTEXTMENU) OpenMenu(anchor);
        return;
    }
    if (lp == WM_LBUTTONUP) {
        m_owner.OnIconSelected();
    } else if (lp == NIN_BALLOONUSERCLICK) {
        m_owner.OnNotificationClicked(m_noticeKeys);
    } else if (lp == WM_RBUTTONUP) {
        POINT pt{};
        GetCursorPos(&pt);
        OpenMenu(pt);
    }
}

void TrayIcon::OpenMenu(POINT at) {
    m_owner.OnMenuOpening();
    const HWND main = Handle();
    SetForegroundWindow(main);
    TrackPopupMenu(m_menu.get(), TPM_LEFTBUTTON, at.x, at.y, 0, main, nullptr);
    PostMessageW(main, WM_NULL, 0, 0);
    // Keyboard users come back to the notification area when the menu closes.
    if (m_version4) {
        NOTIFYICONDATAW nid = TrayIconData(main);
        m_shell.NotifyIcon(NIM_SETFOCUS, nid);
    }
}

bool TrayIcon::Notify(DWORD command, HICON icon, const wchar_t* tip) {
    NOTIFYICONDATAW nid = TrayIconData(Handle());
    // Version 4 hides the standard tip unless asked for it.
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    nid.uCallbackMessage = kTrayMessage;
    nid.hIcon = icon;
    if (tip) wcsncpy(nid.szTip, tip, 127);
    return m_shell.NotifyIcon(command, nid);
}

void TrayIcon::ShowNotification(const Notification& notification) {
    m_pendingNotice.Set(notification);
    if (const HWND main = Handle()) PostMessageW(main, kNotifyMessage, 0, 0);
}

void TrayIcon::OnNotify() {
    std::optional<Notification> n = m_pendingNotice.With([](std::optional<Notification>& slot) { return std::exchange(slot, std::nullopt); });
    if (!n || !m_added) return;
    NOTIFYICONDATAW nid = TrayIconData(Handle());
    nid.uFlags = NIF_INFO;
    wcsncpy(nid.szInfoTitle, n->title.c_str(), std::size(nid.szInfoTitle) - 1);
    wcsncpy(nid.szInfo, n->text.c_str(), std::size(nid.szInfo) - 1);
    nid.dwInfoFlags = (n->error ? NIIF_WARNING : NIIF_INFO) | NIIF_RESPECT_QUIET_TIME;
    if (m_shell.NotifyIcon(NIM_MODIFY, nid)) m_noticeKeys = std::move(n->pageKeys);
}

void TrayIcon::Add() {
    const HWND main = Handle();
    if (!main) return;
    const TrayState state = m_shown.value_or(TrayState{});
    m_added = Notify(NIM_ADD, IconFor(state.look), m_shown ? TrayTip(state).c_str() : kMainTitle);
    if (!m_added) {
        // At log-on the shell may not be ready yet: ask again until it takes the icon.
        SetTimer(main, kRetryTimer, kTrayRetryMs, nullptr);
        return;
    }
    KillTimer(main, kRetryTimer);
    NOTIFYICONDATAW nid = TrayIconData(main);
    nid.uVersion = NOTIFYICON_VERSION_4;
    m_version4 = m_shell.NotifyIcon(NIM_SETVERSION, nid);
}

void TrayIcon::StateChanged() {
    if (const HWND main = Handle()) PostMessageW(main, kTrayStateMessage, 0, 0);
}

void TrayIcon::OnState() {
    if (m_timerArmed) return;  // the timer takes the latest state when it fires
    const DWORD since = GetTickCount() - m_applied;
    if (m_shown && since < kTrayStateGapMs) {
        SetTimer(Handle(), kStateTimer, kTrayStateGapMs - since, nullptr);
        m_timerArmed = true;
        return;
    }
    ApplyState();
}

void TrayIcon::ApplyState() {
    if (!Handle()) return;
    const TrayState state = m_status.Take();
    if (m_shown && *m_shown == state) return;
    m_shown = state;
    m_applied = GetTickCount();
    if (m_added) Notify(NIM_MODIFY, IconFor(state.look), TrayTip(state).c_str());
}

HICON TrayIcon::IconFor(TrayLook look) const {
    if (look == TrayLook::kSending && m_iconSending) return m_iconSending.get();
    if (look == TrayLook::kAttention && m_iconAttention) return m_iconAttention.get();
    if (look == TrayLook::kPaused && m_iconPaused) return m_iconPaused.get();
    return m_icon.get();
}

RECT TrayIcon::IconRect() const {
    RECT rect{};
    if (const HWND main = Handle(); main && m_shell.IconRect(main, 0, rect)) return rect;
    FindTrayRect(rect);
    return rect;
}

bool TrayIcon::FindTrayRect(RECT& rect) const {
    HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
    RECT found{};
    if (tray) {
        HWND notify = FindWindowExW(tray, nullptr, L"TrayNotifyWnd", nullptr);
        HWND toolbar = notify ? FindWindowExW(notify, nullptr, L"ToolbarWindow32", nullptr) : nullptr;
        HWND deepest = toolbar ? toolbar : notify ? notify : tray;
        GetWindowRect(deepest, &found);
        if (toolbar) FindButton(toolbar, Handle(), found);
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
