// The program's window object: entry, hidden main window, start-up, messages and shutdown.
// Thread: everything here runs on the main thread except InvalidateTable() and IsVisible(),
// which workers call (InvalidateRect is safe from any thread; m_visible is atomic).
#include "ui/zk_window_win.h"

#include "ui/gdiplus_include.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include "app/res/resource_ids.h"
#include "app/string_resources.h"
#include "base/fsys.h"
#include "ui/clipboard_win.h"
#include "ui/dpi_win.h"

namespace zk {
namespace {

constexpr UINT kEditId = 1001;


std::wstring Resource(unsigned id, const wchar_t* fallback = L"") {
    std::wstring s;
    return LoadResourceString(id, s) ? s : std::wstring(fallback);
}

// The window object travels in the creation parameters and lives in GWLP_USERDATA.
template <class T>
T* Self(HWND hwnd, UINT msg, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        return self;
    }
    return reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

}  // namespace

CZKWindow::CZKWindow() : CZKWindow(m_systemClock) {}

CZKWindow::CZKWindow(const IClock& clock) : m_clock(clock) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = BalloonProc;
    wc.cbWndExtra = sizeof(void*);
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_AGENT));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kBalloonClass;
    RegisterClassExW(&wc);
    LoadPalette();
}

CZKWindow::~CZKWindow() { ShutDown(); }

int CZKWindow::Run(HINSTANCE instance) {
    m_instance = instance;
    LoadResourceString(IDS_AGENT_CLASS, m_agentClass);
    if (HWND running = FindWindowW(m_agentClass.c_str(), kMainTitle)) {
        // The running agent may bring its balloon to the front only if we, the foreground
        // process, allow it.
        DWORD pid = 0;
        GetWindowThreadProcessId(running, &pid);
        if (pid) AllowSetForegroundWindow(pid);
        SendMessageW(running, kWakeMessage, 0, 0);
        return 0;
    }
    if (!BuildFrame()) return 1;
    if (!StartUp()) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

bool CZKWindow::BuildFrame() {
    m_store = std::make_unique<CRegistrySettingsStore>(m_agentClass);
    m_agent = std::make_unique<CAgent>(m_clock, *m_store, this);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = MainProc;
    wc.hInstance = m_instance;
    wc.hIcon = LoadIconW(m_instance, MAKEINTRESOURCEW(IDI_AGENT));
    wc.hIconSm = LoadIconW(m_instance, MAKEINTRESOURCEW(IDI_AGENT_SMALL));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = m_agentClass.c_str();
    RegisterClassExW(&wc);
    return CreateMainWindow();
}

bool CZKWindow::CreateMainWindow() {
    m_main = CreateWindowExW(0, m_agentClass.c_str(), kMainTitle, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, m_instance, this);
    if (!m_main) return false;
    m_menu.reset(CreatePopupMenu());
    if (!m_menu) return false;
    MENUINFO mi{};
    mi.cbSize = sizeof(mi);
    mi.fMask = MIM_STYLE;
    mi.dwStyle = MNS_NOCHECK | MNS_NOTIFYBYPOS;
    SetMenuInfo(m_menu.get(), &mi);
    // The small-icon size of the system's DPI, drawn from the multi-size icons, never stretched.
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    const auto load = [&](int id) { return static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(id), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR)); };
    m_icon.reset(load(IDI_AGENT));
    m_iconSending.reset(load(IDI_TRAY_SENDING));
    m_iconAttention.reset(load(IDI_TRAY_ATTENTION));
    AddTrayIcon();
    ShowWindow(m_main, SW_SHOWMINIMIZED);
    ShowWindow(m_main, SW_HIDE);
    UpdateWindow(m_main);
    ShowPage(0);

    for (unsigned id = IDS_PAGE_FIRST;; ++id) {
        std::wstring text;
        if (!LoadResourceString(id, text)) break;
        if (!m_agent->Rows().AddPage(text)) {
            MessageBoxW(m_main, L"Не верные данные в ресурсах", L"Ошибка", MB_ICONERROR);
            return false;
        }
        const int n = m_agent->Rows().PageCount();
        AppendMenuW(m_menu.get(), MF_STRING, static_cast<UINT_PTR>(n), m_agent->Rows().Pages().Last()->value.c_str());
    }
    AppendFolderItems();
    AppendMenuW(m_menu.get(), MF_STRING, 0, (std::wstring(L"Выход") + std::wstring(29, L' ')).c_str());

    m_clockThread = std::make_unique<CAuditThread>(
        m_clock, CAuditThread::Hooks{[this] { m_agent->RotateJournal(); }, [this] { m_agent->RequestReauthentication(); },
                                     [this] { return m_agent->AuthInterval(); }});
    m_clockThread->Start();
    return true;
}

bool CZKWindow::StartUp() {
    m_com.emplace();
    m_ole.emplace();
    if (FAILED(m_com->Result()) || FAILED(m_ole->Result())) return false;
    m_balloon = CreateWindowExW(WS_EX_ACCEPTFILES, kBalloonClass, L"", WS_POPUP | WS_CLIPCHILDREN, m_left, m_top, m_width, m_height,
                                m_main, nullptr, m_instance, this);
    if (!m_balloon) return false;
    SetWindowLongPtrW(m_balloon, 0, reinterpret_cast<LONG_PTR>(this));
    ApplyRegion();
    UpdateWindow(m_balloon);
    m_edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 100, 100, m_balloon,
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kEditId)), m_instance, nullptr);
    if (!m_edit) return false;
    SetWindowLongPtrW(m_edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_editProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(m_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
    StartDropTarget();
    m_gdiplus = std::make_unique<ScopedGdiplus>();

    AgentResources res;
    res.agentClass = m_agentClass;
    res.version = m_version = Resource(IDS_VERSION, L"1.0");
    res.showAtStart = Resource(IDS_SHOW_AT_START);
    res.authUrl = Resource(IDS_AUTH_URL);
    res.userName = Resource(IDS_USER_NAME);
    res.password = Resource(IDS_PASSWORD);
    res.fileTypes = Resource(IDS_FILE_TYPES);
    res.chunkSize = Resource(IDS_CHUNK_SIZE);
    res.authTimeout = Resource(IDS_AUTH_TIMEOUT);
    if (!m_agent->StartUp(res, ModuleFolder())) return false;
    PlaceAboveTray();
    Relayout(true);
    if (_wcsicmp(res.showAtStart.c_str(), L"true") == 0) {
        ShowPage(1);
        if (!m_visible) {
            ShowBalloon();
        }
    }
    return true;
}

void CZKWindow::ShutDown() {
    if (m_shutDown) return;
    m_shutDown = true;
    // The hidden window's end stops the clock; after a failed start-up it still runs, and its
    // hooks call the agent, which goes below.
    StopClock();
    m_paintCache.reset();
    m_gdiplus.reset();
    if (m_balloon && IsWindow(m_balloon)) SetWindowRgn(m_balloon, nullptr, FALSE);
    if (m_agent) m_agent->ShutDown();  // journal line, then session, splitter, audit
    StopDropTarget();
    if (m_edit && IsWindow(m_edit)) DestroyWindow(m_edit);
    if (m_balloon && IsWindow(m_balloon)) DestroyWindow(m_balloon);
    StopDropThreads();
    m_agent.reset();
    m_ole.reset();
    m_com.reset();
}

void CZKWindow::StopClock() {
    if (!m_clockThread) return;
    m_clockThread->StopAndWait();
    m_clockThread.reset();
}

// ---- the hidden main window ----

LRESULT CALLBACK CZKWindow::MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    CZKWindow* self = Self<CZKWindow>(hwnd, msg, lp);
    return self ? self->OnMainMessage(hwnd, msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CZKWindow::OnMainMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == m_taskbarCreated && m_taskbarCreated != 0) {
        OnTaskbarCreated();
        return 0;
    }
    switch (msg) {
        case WM_DESTROY:
            StopClock();
            KillTimer(hwnd, kTrayRetryTimer);
            KillTimer(hwnd, kTrayStateTimer);
            TrayIcon(NIM_DELETE, nullptr, nullptr);
            m_trayAdded = false;
            m_menu.reset();
            if (!IsWindow(m_balloon)) m_balloon = nullptr;
            PostQuitMessage(0);
            break;
        case WM_MENUCOMMAND: {
            const UINT id = GetMenuItemID(reinterpret_cast<HMENU>(lp), static_cast<int>(wp));
            if (id == 0) Exit();
            else if (const std::optional<FolderItem> item = FolderItemOf(id)) OpenFolderItem(*item);
            else if (id != static_cast<UINT>(-1)) PageCommand(static_cast<int>(id));
            break;
        }
        case WM_CLOSE:
            // The installer's way of ending a running agent: the same as the exit item.
            Exit();
            return 0;
        case kTrayMessage:
            OnTray(wp, lp);
            break;
        case kTrayStateMessage:
            OnTrayState();
            return 0;
        case WM_TIMER:
            if (wp == kTrayRetryTimer) {
                AddTrayIcon();
            } else if (wp == kTrayStateTimer) {
                KillTimer(hwnd, kTrayStateTimer);
                m_trayTimerArmed = false;
                ApplyTrayState();
            }
            return 0;
        case kWakeMessage: {
            const bool wasVisible = m_visible;
            if (!wasVisible) ShowPage(1);
            SetForegroundWindow(m_balloon);
            if (!wasVisible) ShowBalloon();
            break;
        }
        default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void CZKWindow::Exit() {
    // The upload stops first: tearing down the windows and the tray icon took 2 s under Wine,
    // and an upload going on meanwhile would put seconds more of a body on a slow line.
    if (m_agent) m_agent->RequestStop();
    DestroyWindow(m_main);
    m_main = nullptr;
    m_balloon = nullptr;  // owned by the main window: destroyed with it
    m_edit = nullptr;
}

void CZKWindow::OnTray(WPARAM wp, LPARAM lp) {
    if (m_trayVersion4) {
        // Version 4: the event in the low word, the anchor point (screen) in wParam. The mouse
        // clicks also arrive as plain button messages, which are left to NIN_SELECT and
        // WM_CONTEXTMENU so that each click acts once.
        const UINT event = LOWORD(lp);
        const POINT anchor{static_cast<short>(LOWORD(wp)), static_cast<short>(HIWORD(wp))};
        if (event == NIN_SELECT || event == NIN_KEYSELECT) ShowFromTray();
        else if (event == WM_CONTEXTMENU) OpenMenu(anchor);
        return;
    }
    if (lp == WM_LBUTTONUP) {
        ShowFromTray();
    } else if (lp == WM_RBUTTONUP) {
        POINT pt{};
        GetCursorPos(&pt);
        OpenMenu(pt);
    }
}

void CZKWindow::ShowFromTray() {
    if (m_visible && m_agent->Rows().CurrentPage() != 1) HideBalloon();
    ShowPage(1);
    SetForegroundWindow(m_balloon);
    if (!m_visible) ShowBalloon();
}

void CZKWindow::OpenMenu(POINT at) {
    if (m_visible) HideBalloon();
    SetForegroundWindow(m_main);
    TrackPopupMenu(m_menu.get(), TPM_LEFTBUTTON, at.x, at.y, 0, m_main, nullptr);
    PostMessageW(m_main, WM_NULL, 0, 0);
    // Keyboard users come back to the notification area when the menu closes.
    if (m_trayVersion4) {
        NOTIFYICONDATAW nid{};
        nid.cbSize = sizeof(nid);
        nid.hWnd = m_main;
        nid.uID = 0;
        m_shell->NotifyIcon(NIM_SETFOCUS, nid);
    }
}

void CZKWindow::PageCommand(int page) {
    if (m_visible) HideBalloon();
    ShowPage(page);
    if (!m_visible) ShowBalloon();
    SetForegroundWindow(m_balloon);
}

// ---- the balloon ----

// Workers change the rows at every file and every 100 ms of an upload, and a repaint costs
// milliseconds: the table is repainted at most every kTableGapMs, and always after the last change.
void CZKWindow::InvalidateTable() {
    if (m_tableQueued.exchange(true)) return;  // the queued repaint takes this change too
    if (const HWND balloon = m_balloon.load()) PostMessageW(balloon, kTableMessage, 0, 0);
    else m_tableQueued = false;
}

void CZKWindow::OnTableChanged() {
    if (m_tableTimerArmed) return;  // the timer repaints when it fires
    const DWORD since = GetTickCount() - m_tablePainted;
    if (since < kTableGapMs) {
        SetTimer(m_balloon, kTableTimer, kTableGapMs - since, nullptr);
        m_tableTimerArmed = true;
        return;
    }
    RepaintTable();
}

void CZKWindow::RepaintTable() {
    m_tableQueued = false;  // a change from now on queues another repaint
    const RECT table = TableRect();
    if (const HWND balloon = m_balloon.load()) InvalidateRect(balloon, &table, FALSE);
}

RECT CZKWindow::TableRect() const {
    const int dpi = m_dpi.load();
    const RectI b = BodyRect(m_side.load(), m_width.load(), m_height.load(), ScaleToDpi(balloon96::kTail, dpi));
    const int margin = ScaleToDpi(balloon96::kMargin, dpi);
    return {b.left + margin, b.top + ScaleToDpi(balloon96::kHeader, dpi), b.right - margin, b.bottom - margin};
}

void CZKWindow::TrayStateChanged() {
    if (m_main) PostMessageW(m_main, kTrayStateMessage, 0, 0);
}

RectI CZKWindow::Body() const { return BodyRect(m_side.load(), m_width.load(), m_height.load(), Scaled(balloon96::kTail)); }

RectI CZKWindow::CloseBox() const {
    const RectI b = Body();
    return {b.right - Scaled(20), b.top + Scaled(6), b.right - Scaled(9) + 1, b.top + Scaled(17) + 1};
}

std::wstring CZKWindow::CaptionText() const {
    const std::wstring title = m_agent && m_agent->Rows().CurrentPage() > 0 && !m_caption.empty() ? m_caption
                                                                                                    : std::wstring(L"Загрузчик VELMO® V3.40");
    return title + L" [v" + CEventJournal::kProgramVersion + L" b" + m_version + L"]";
}

void CZKWindow::ShowPage(int page) {
    if (!m_agent) return;
    const PageSize size = m_agent->Rows().ShowPage(page);
    m_caption = size.title;
    m_pageWidth = size.width;
    m_pageHeight = size.height;
    Relayout(PlaceAboveTray());
    // The window's text is its caption: what a screen reader names it by.
    if (m_balloon) SetWindowTextW(m_balloon, CaptionText().c_str());
}

void CZKWindow::ShowBalloon() {
    if (!m_balloon) return;
    ShowWindow(m_balloon, SW_SHOW);
    InvalidateRect(m_balloon, nullptr, FALSE);
}

void CZKWindow::HideBalloon() {
    if (m_balloon) ShowWindow(m_balloon, SW_HIDE);
}

bool CZKWindow::PlaceAboveTray() {
    // Asked afresh on every show: the taskbar may have moved, or the icon into the overflow.
    m_trayRect = TrayIconRect();
    HMONITOR monitor = MonitorFromRect(&m_trayRect, MONITOR_DEFAULTTONEAREST);
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    if (!GetMonitorInfoW(monitor, &mi)) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &mi.rcWork, 0);
        mi.rcMonitor = mi.rcWork;
    }
    const int dpi = DpiAt(m_trayRect);
    const BalloonShape shape = ShapeAt(m_pageWidth, m_pageHeight, dpi);
    const auto rect = [](const RECT& r) { return RectI{r.left, r.top, r.right, r.bottom}; };
    const BalloonPlace place = PlaceBalloon(rect(m_trayRect), rect(mi.rcMonitor), rect(mi.rcWork), shape);
    const bool reshaped = shape.width != m_width || shape.height != m_height || dpi != m_dpi || place.side != m_side ||
                          place.tailStart != m_tailStart;
    m_dpi = dpi;
    m_width = shape.width;
    m_height = shape.height;
    m_side = place.side;
    m_tailStart = place.tailStart;
    RECT now{};
    if (m_balloon) GetWindowRect(m_balloon, &now);
    m_left = place.window.left;
    m_top = place.window.top;
    if (m_balloon && (now.left != m_left || now.top != m_top || now.right - now.left != m_width || now.bottom - now.top != m_height))
        SetWindowPos(m_balloon, nullptr, m_left, m_top, m_width, m_height, SWP_NOZORDER | SWP_NOACTIVATE);
    return reshaped;
}

void CZKWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    // Our own placement already sized the window for the monitor it moved to: nothing to do.
    if (dpi == m_dpi) return;
    const BalloonShape shape = ShapeAt(m_pageWidth, m_pageHeight, dpi);
    m_dpi = dpi;
    m_width = shape.width;
    m_height = shape.height;
    m_tailStart = std::clamp(m_width - shape.tailOffset, shape.corner, std::max(shape.corner, m_width - shape.corner - shape.tailWidth));
    m_left = suggested.left;
    m_top = suggested.top;
    SetWindowPos(m_balloon, nullptr, m_left, m_top, m_width, m_height, SWP_NOZORDER | SWP_NOACTIVATE);
    Relayout(true);
}

void CZKWindow::ApplyRegion() {
    if (!m_balloon) return;
    const TailSide side = m_side;
    RectI b = Body();
    // The body overlaps the tail's base by a pixel, so that the two join without a seam.
    if (side == TailSide::kBottom) ++b.bottom;
    else if (side == TailSide::kTop) --b.top;
    else if (side == TailSide::kLeft) --b.left;
    else ++b.right;
    const int corner = Scaled(balloon96::kCorner);
    UniqueHrgn round(CreateRoundRectRgn(b.left, b.top, b.right, b.bottom, corner, corner));
    const TailTriangle t = TailAt(side, m_width, m_height, Scaled(balloon96::kTail), m_tailStart, Scaled(balloon96::kTailWidth));
    const POINT tail[] = {{t.baseFrom.x, t.baseFrom.y}, {t.tip.x, t.tip.y}, {t.baseTo.x, t.baseTo.y}};
    UniqueHrgn triangle(CreatePolygonRgn(tail, 3, WINDING));
    UniqueHrgn combined(CreateRectRgn(0, 0, 0, 0));
    CombineRgn(combined.get(), round.get(), triangle.get(), RGN_OR);
    // On success the system owns the region.
    if (SetWindowRgn(m_balloon, combined.get(), TRUE)) (void)combined.release();
}

void CZKWindow::Relayout(bool full) {
    if (!m_agent) return;
    const RectI b = Body();
    const int margin = Scaled(balloon96::kMargin);
    m_agent->Rows().Layout(b.left + margin, b.top + Scaled(balloon96::kHeader), b.right - b.left - 2 * margin, m_dpi);
    if (full) ApplyRegion();
    if (m_edit && m_editFontDpi != m_dpi) {
        m_editFont.reset(CreateFontW(-Scaled(balloon96::kEditFont), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Arial"));
        SendMessageW(m_edit, WM_SETFONT, reinterpret_cast<WPARAM>(m_editFont.get()), FALSE);
        m_editFontDpi = m_dpi;
    }
    if (m_editing) MoveWindow(m_edit, m_editing->valueRect.left, m_editing->valueRect.top,
                              m_editing->valueRect.right - m_editing->valueRect.left,
                              m_editing->valueRect.bottom - m_editing->valueRect.top, TRUE);
    if (m_balloon) InvalidateRect(m_balloon, nullptr, FALSE);
}

LRESULT CALLBACK CZKWindow::BalloonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    CZKWindow* self = Self<CZKWindow>(hwnd, msg, lp);
    return self ? self->OnBalloonMessage(hwnd, msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CZKWindow::OnBalloonMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SHOWWINDOW:
            m_visible = wp != FALSE;
            if (wp) {
                if (m_agent && m_agent->Session()) m_agent->Events().RefreshStatistics(*m_agent->Session());
                InvalidateRect(hwnd, nullptr, FALSE);
            } else {
                CloseEditor(false);
            }
            break;
        case WM_SIZE:
            Relayout(false);
            break;
        case WM_ACTIVATE:
            if (LOWORD(wp) == WA_INACTIVE) CloseEditor(false);
            break;
        case kTableMessage:
            OnTableChanged();
            return 0;
        case WM_TIMER:
            if (wp == kTableTimer) {
                KillTimer(hwnd, kTableTimer);
                m_tableTimerArmed = false;
                RepaintTable();
            }
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            m_tablePainted = GetTickCount();
            HDC dc = BeginPaint(hwnd, &ps);
            if (m_gdiplus && m_gdiplus->Started()) Paint(dc, ps.rcPaint);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_CLOSE:
            HideBalloon();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_CTLCOLOREDIT: {
            const bool light = m_editing && m_editing->alternate;
            SetTextColor(reinterpret_cast<HDC>(wp), ToColorref(m_palette.text));
            SetBkColor(reinterpret_cast<HDC>(wp), ToColorref(light ? m_palette.rowLight : m_palette.rowGrey));
            return reinterpret_cast<LRESULT>(light ? m_brushLight.get() : m_brushGrey.get());
        }
        case WM_KEYDOWN:
            if (wp == VK_TAB) MoveEditor((GetKeyState(VK_SHIFT) & 0x8000) != 0);
            else if (wp == VK_RETURN) CloseEditor(true);
            else if (wp == VK_ESCAPE && m_editing) CloseEditor(false);
            else if (wp == VK_ESCAPE) HideBalloon();
            else if (wp == 'C' && (GetKeyState(VK_CONTROL) & 0x8000) && !m_editing) CopyPageToClipboard();
            return 0;
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wp), *reinterpret_cast<const RECT*>(lp));
            return 0;
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
            // High contrast switched on or off, or its colours changed.
            LoadPalette();
            InvalidateRect(hwnd, nullptr, FALSE);
            if (m_edit) InvalidateRect(m_edit, nullptr, TRUE);
            break;
        case WM_COMMAND:
            if (LOWORD(wp) == kEditId && HIWORD(wp) == EN_UPDATE && m_editing) {
                wchar_t buf[1024] = {};
                GetWindowTextW(m_edit, buf, 1024);
                m_modified = m_editing->Value() != buf;
            }
            break;
        case WM_LBUTTONDOWN:
            OnClick(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
            return 0;
        default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void CZKWindow::CopyPageToClipboard() {
    if (m_agent) CopyTextToClipboard(m_balloon, m_agent->Rows().PageText());
}

// ---- the in-place editor ----

LRESULT CALLBACK CZKWindow::EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<CZKWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_ERASEBKGND) return 1;
    if (msg == WM_KEYDOWN && (wp == VK_TAB || wp == VK_RETURN || wp == VK_ESCAPE)) {
        SendMessageW(self->m_balloon, WM_KEYDOWN, wp, lp);
        return 0;
    }
    if (msg == WM_CHAR && (wp == L'\t' || wp == L'\r' || wp == 27)) return 0;  // no beep
    return CallWindowProcW(self->m_editProc, hwnd, msg, wp, lp);
}

void CZKWindow::OnClick(int x, int y) {
    if (CloseBox().Contains(x, y)) {
        HideBalloon();
        return;
    }
    bool onValue = false;
    CZKListEntry* row = m_agent ? m_agent->Rows().HitTest(x, y, &onValue) : nullptr;
    if (row && onValue && row->kind == kRowEditable) {
        if (row != m_editing) {
            CloseEditor(true);
            OpenEditor(row);
        }
        return;
    }
    CloseEditor(true);
}

void CZKWindow::OpenEditor(CZKListEntry* row) {
    if (!row || row->kind != kRowEditable || !m_edit) return;
    m_editing = row;
    LONG_PTR style = GetWindowLongPtrW(m_edit, GWL_STYLE) & ~(ES_RIGHT | ES_CENTER);
    style |= row->attrA == kAlignRight ? ES_RIGHT : row->attrA == kAlignCenter ? ES_CENTER : ES_LEFT;
    SetWindowLongPtrW(m_edit, GWL_STYLE, style);
    SendMessageW(m_edit, EM_SETPASSWORDCHAR, row == &m_agent->Rows().userPasswd ? L'*' : 0, 0);
    MoveWindow(m_edit, row->valueRect.left, row->valueRect.top, row->valueRect.right - row->valueRect.left,
               row->valueRect.bottom - row->valueRect.top, TRUE);
    SetWindowTextW(m_edit, row->Value().c_str());
    SendMessageW(m_edit, EM_SETSEL, 0, -1);
    m_modified = false;
    ShowWindow(m_edit, SW_SHOW);
    SetFocus(m_edit);
    InvalidateRect(m_balloon, nullptr, FALSE);
}

void CZKWindow::CloseEditor(bool commit) {
    if (!m_editing) return;
    CZKListEntry* row = m_editing;
    m_editing = nullptr;
    if (commit && m_modified) {
        const int n = GetWindowTextLengthW(m_edit);
        std::wstring text(static_cast<size_t>(n) + 1, L'\0');
        GetWindowTextW(m_edit, text.data(), n + 1);
        text.resize(static_cast<size_t>(n));
        m_agent->Settings().CommitEdit(*row, text);
    }
    m_modified = false;
    ShowWindow(m_edit, SW_HIDE);
    InvalidateRect(m_balloon, nullptr, FALSE);
}

void CZKWindow::MoveEditor(bool backwards) {
    CZKListEntry* from = m_editing;
    CloseEditor(true);
    const auto rows = m_agent->Rows().EditableVisibleRows();
    if (rows.empty()) return;
    // With no editor open, Tab starts at the first setting and Shift+Tab at the last.
    size_t next = backwards ? rows.size() - 1 : 0;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i] == from) next = backwards ? (i + rows.size() - 1) % rows.size() : (i + 1) % rows.size();
    OpenEditor(rows[next]);
}

}  // namespace zk
