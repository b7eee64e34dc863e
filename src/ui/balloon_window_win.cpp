// The balloon window. Thread: the main thread, but for InvalidateTable() and IsVisible() (see the
// header).
#include "ui/balloon_window_win.h"

#include <algorithm>

#include "app/res/resource_ids.h"
#include "base/win_handles.h"
#include "session/event_journal.h"
#include "ui/clipboard_win.h"
#include "ui/dpi_win.h"
#include "ui/drop_intake_win.h"
#include "ui/tray_icon_win.h"

namespace zk {
namespace {

constexpr UINT_PTR kTableTimer = 3;

RectI ToRectI(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

}  // namespace

BalloonWindow::BalloonWindow(CAgent& agent, const TrayIcon& tray, const DropIntake& drops)
    : m_agent(agent), m_tray(tray), m_drops(drops), m_editor(agent) {
    WNDCLASSEXW wc{};
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_AGENT));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kBalloonClass;
    RegisterWindowClass(wc);
    LoadPalette();
}

bool BalloonWindow::Create(HINSTANCE instance, HWND owner) {
    const RECT place{m_at.x, m_at.y, m_at.x + m_frame.width, m_at.y + m_frame.height};
    if (!CreateWindowOf(WS_EX_ACCEPTFILES, kBalloonClass, L"", WS_POPUP | WS_CLIPCHILDREN, place, owner, instance)) return false;
    ApplyRegion();
    UpdateWindow(Handle());
    return m_editor.Create(Handle(), instance);
}

std::wstring BalloonWindow::Caption() const {
    const std::wstring title = CurrentPage() > 0 && !m_caption.empty() ? m_caption : std::wstring(L"Загрузчик VELMO® V3.40");
    return title + L" [v" + CEventJournal::kProgramVersion + L" b" + m_version + L"]";
}

void BalloonWindow::ShowPage(int page) {
    const PageSize size = m_agent.Rows().ShowPage(page);
    m_caption = size.title;
    m_pageWidth = size.width;
    m_pageHeight = size.height;
    Relayout(PlaceAboveTray());
    // The window's text is its caption: what a screen reader names it by.
    if (const HWND hwnd = Handle()) SetWindowTextW(hwnd, Caption().c_str());
    // A page with rows of its own (the queue's) is filled now, not at the next event.
    if (m_visible && m_agent.Session()) m_agent.Events().RefreshStatistics(*m_agent.Session());
}

void BalloonWindow::Show() {
    if (const HWND hwnd = Handle()) {
        ShowWindow(hwnd, SW_SHOW);
        InvalidateRect(hwnd, nullptr, FALSE);
    }
}

void BalloonWindow::Hide() {
    if (const HWND hwnd = Handle()) ShowWindow(hwnd, SW_HIDE);
}

bool BalloonWindow::PlaceAboveTray() {
    // Asked afresh on every show: the taskbar may have moved, or the icon into the overflow.
    const RECT icon = m_tray.IconRect();
    HMONITOR monitor = MonitorFromRect(&icon, MONITOR_DEFAULTTONEAREST);
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    if (!GetMonitorInfoW(monitor, &mi)) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &mi.rcWork, 0);
        mi.rcMonitor = mi.rcWork;
    }
    const int dpi = DpiAt(icon);
    const BalloonShape shape = ShapeAt(m_pageWidth, m_pageHeight, dpi);
    const BalloonPlace place = PlaceBalloon(ToRectI(icon), ToRectI(mi.rcMonitor), ToRectI(mi.rcWork), shape);
    const BalloonFrame frame{shape.width, shape.height, dpi, place.side, place.tailStart};
    const bool reshaped = !(frame == m_frame);
    m_frame = frame;
    m_at = {place.window.left, place.window.top};
    const HWND hwnd = Handle();
    RECT now{};
    if (hwnd) GetWindowRect(hwnd, &now);
    if (hwnd && (now.left != m_at.x || now.top != m_at.y || now.right - now.left != m_frame.width || now.bottom - now.top != m_frame.height))
        SetWindowPos(hwnd, nullptr, m_at.x, m_at.y, m_frame.width, m_frame.height, SWP_NOZORDER | SWP_NOACTIVATE);
    return reshaped;
}

void BalloonWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    // Our own placement already sized the window for the monitor it moved to: nothing to do.
    if (dpi == m_frame.dpi) return;
    const BalloonShape shape = ShapeAt(m_pageWidth, m_pageHeight, dpi);
    m_frame.dpi = dpi;
    m_frame.width = shape.width;
    m_frame.height = shape.height;
    m_frame.tailStart = std::clamp(m_frame.width - shape.tailOffset, shape.corner,
                                   std::max(shape.corner, m_frame.width - shape.corner - shape.tailWidth));
    m_at = {suggested.left, suggested.top};
    SetWindowPos(Handle(), nullptr, m_at.x, m_at.y, m_frame.width, m_frame.height, SWP_NOZORDER | SWP_NOACTIVATE);
    Relayout(true);
}

void BalloonWindow::ApplyRegion() {
    const HWND hwnd = Handle();
    if (!hwnd) return;
    const TailSide side = m_frame.side;
    RectI b = m_frame.Body();
    // The body overlaps the tail's base by a pixel, so that the two join without a seam.
    if (side == TailSide::kBottom) ++b.bottom;
    else if (side == TailSide::kTop) --b.top;
    else if (side == TailSide::kLeft) --b.left;
    else ++b.right;
    const int corner = m_frame.Scaled(balloon96::kCorner);
    UniqueHrgn round(CreateRoundRectRgn(b.left, b.top, b.right, b.bottom, corner, corner));
    const TailTriangle t = TailAt(side, m_frame.width, m_frame.height, m_frame.Scaled(balloon96::kTail), m_frame.tailStart,
                                  m_frame.Scaled(balloon96::kTailWidth));
    const POINT tail[] = {{t.baseFrom.x, t.baseFrom.y}, {t.tip.x, t.tip.y}, {t.baseTo.x, t.baseTo.y}};
    UniqueHrgn triangle(CreatePolygonRgn(tail, 3, WINDING));
    UniqueHrgn combined(CreateRectRgn(0, 0, 0, 0));
    CombineRgn(combined.get(), round.get(), triangle.get(), RGN_OR);
    // On success the system owns the region.
    if (SetWindowRgn(hwnd, combined.get(), TRUE)) (void)combined.release();
}

void BalloonWindow::Relayout(bool full) {
    const RectI b = m_frame.Body();
    const int margin = m_frame.Scaled(balloon96::kMargin);
    m_agent.Rows().Layout(b.left + margin, b.top + m_frame.Scaled(balloon96::kHeader), b.right - b.left - 2 * margin, m_frame.dpi);
    if (full) ApplyRegion();
    m_editor.Follow(m_frame.dpi);
    if (const HWND hwnd = Handle()) InvalidateRect(hwnd, nullptr, FALSE);
}

void BalloonWindow::ReleasePictures() {
    m_painting = false;
    m_painter.Forget();
    if (const HWND hwnd = Handle(); hwnd && IsWindow(hwnd)) SetWindowRgn(hwnd, nullptr, FALSE);
}

// Workers change the rows at every file and every 100 ms of an upload, and a repaint costs
// milliseconds: the table is repainted at most every kTableGapMs, and always after the last change.
void BalloonWindow::InvalidateTable() {
    if (m_tableQueued.exchange(true)) return;  // the queued repaint takes this change too
    if (const HWND hwnd = Handle()) PostMessageW(hwnd, kTableMessage, 0, 0);
    else m_tableQueued = false;
}

void BalloonWindow::OnTableChanged() {
    if (m_tableTimerArmed) return;  // the timer repaints when it fires
    const DWORD since = GetTickCount() - m_tablePainted;
    if (since < kTableGapMs) {
        SetTimer(Handle(), kTableTimer, kTableGapMs - since, nullptr);
        m_tableTimerArmed = true;
        return;
    }
    RepaintTable();
}

void BalloonWindow::RepaintTable() {
    m_tableQueued = false;  // a change from now on queues another repaint
    const RectI t = m_frame.Table();
    const RECT table{t.left, t.top, t.right, t.bottom};
    if (const HWND hwnd = Handle()) InvalidateRect(hwnd, &table, FALSE);
}

bool BalloonWindow::TableSettled() const {
    const HWND hwnd = Handle();
    return !m_tableQueued.load() && !m_tableTimerArmed && (!hwnd || !GetUpdateRect(hwnd, nullptr, FALSE));
}

void BalloonWindow::LoadPalette() {
    m_palette = CurrentBalloonPalette();
    m_editor.SetPalette(m_palette);
}

// The rows as they are now, copied under the row list's lock: drawing text is slow (under Wine
// milliseconds a row), and workers that set values must not wait for a paint.
BalloonPicture BalloonWindow::Picture() const {
    BalloonPicture p{m_frame, m_palette, Caption(), {}, m_drops.Pending()};
    CStatRows& stat = m_agent.Rows();
    CZKLockedList& rows = stat.Rows();
    const CZKListEntry* editing = m_editor.Editing();
    std::lock_guard lock(rows.Mutex());
    for (const CZKListEntry* e = rows.First(); e; e = e->next) {
        if (!e->visible) continue;
        p.rows.push_back({e->labelRect, e->valueRect, e->kind, e->ValueAlign(), e->TrimsPath(), e->alternate, e->alert.load(), e == editing,
                          e->label, e == &stat.userPasswd ? std::wstring(L"*****") : e->value});
    }
    return p;
}

LRESULT BalloonWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    const HWND hwnd = Handle();
    switch (msg) {
        case WM_SHOWWINDOW:
            m_visible = wp != FALSE;
            if (wp) {
                if (m_agent.Session()) m_agent.Events().RefreshStatistics(*m_agent.Session());
                InvalidateRect(hwnd, nullptr, FALSE);
            } else {
                m_editor.Close(false);
            }
            break;
        case WM_SIZE:
            Relayout(false);
            break;
        case WM_ACTIVATE:
            if (LOWORD(wp) == WA_INACTIVE) m_editor.Close(false);
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
            m_tablePainted = GetTickCount();
            const ScopedPaint paint(hwnd);
            if (m_painting) m_painter.Paint(paint.Dc(), paint.Dirty(), Picture());
            return 0;
        }
        case WM_CLOSE:
            Hide();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_CTLCOLOREDIT:
            return reinterpret_cast<LRESULT>(m_editor.Colours(reinterpret_cast<HDC>(wp)));
        case WM_KEYDOWN:
            OnKey(wp);
            return 0;
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wp), *reinterpret_cast<const RECT*>(lp));
            return 0;
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
            // High contrast switched on or off, or its colours changed.
            LoadPalette();
            InvalidateRect(hwnd, nullptr, FALSE);
            break;
        case WM_COMMAND:
            if (LOWORD(wp) == InPlaceEditor::kControlId && HIWORD(wp) == EN_UPDATE) m_editor.OnTextChanged();
            break;
        case WM_LBUTTONDOWN:
            OnClick(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
            return 0;
        case WM_DESTROY:
            m_editor.Destroy();
            break;
        default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void BalloonWindow::OnKey(WPARAM key) {
    const bool editing = m_editor.Editing() != nullptr;
    if (key == VK_TAB) m_editor.Move((GetKeyState(VK_SHIFT) & 0x8000) != 0);
    else if (key == VK_RETURN) m_editor.Close(true);
    else if (key == VK_ESCAPE && editing) m_editor.Close(false);
    else if (key == VK_ESCAPE) Hide();
    else if (key == 'C' && (GetKeyState(VK_CONTROL) & 0x8000) && !editing) CopyTextToClipboard(Handle(), m_agent.Rows().PageText());
}

void BalloonWindow::OnClick(int x, int y) {
    if (m_frame.CloseBox().Contains(x, y)) {
        Hide();
        return;
    }
    bool onValue = false;
    CZKListEntry* row = m_agent.Rows().HitTest(x, y, &onValue);
    if (row && onValue && row->kind == kRowEditable) {
        if (row != m_editor.Editing()) {
            m_editor.Close(true);
            m_editor.Open(row);
        }
        return;
    }
    m_editor.Close(true);
}

}  // namespace zk
