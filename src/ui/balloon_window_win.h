// The balloon: a popup window above the tray icon with a tail pointing at it, showing one page of
// the statistics panel. It places itself at the DPI of the icon's monitor, cuts its region to the
// rounded body and tail, repaints its table at most every kTableGapMs, copies its page with
// Ctrl+C and holds the in-place editor.
// Threads: everything runs on the main thread except InvalidateTable() and IsVisible(), which
// workers call: the first posts to the window (once until the repaint it asks for), the second
// reads an atomic. The rows are copied under the row list's lock and painted without it.
// Lengths: the pages and the painter speak 96-DPI pixels; the window is those lengths scaled to
// the DPI of the monitor it is on.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/agent.h"
#include "ui/balloon_painter_win.h"
#include "ui/base_window_win.h"
#include "ui/in_place_editor_win.h"

namespace zk {

class DropIntake;
class TrayIcon;

inline constexpr wchar_t kBalloonClass[] = L"CZKWindow";
inline constexpr UINT kTableMessage = WM_USER + 4;  // rows changed
// The least time between two repaints of the table.
inline constexpr DWORD kTableGapMs = 100;

class BalloonWindow final : public BaseWindow<BalloonWindow> {
public:
    BalloonWindow(CAgent& agent, const TrayIcon& tray, const DropIntake& drops);

    // The hidden window, owned by `owner`, with its region and its editor.
    bool Create(HINSTANCE instance, HWND owner);
    // The build number the caption names.
    void SetVersion(std::wstring version) { m_version = std::move(version); }

    // The page's rows, title and size (0: the whole table), placed by the icon again.
    void ShowPage(int page);
    [[nodiscard]] int CurrentPage() const { return m_agent.Rows().CurrentPage(); }
    void Show();
    void Hide();
    [[nodiscard]] bool IsVisible() const { return m_visible.load(); }
    // Places the balloon by the tray icon at its monitor's DPI; true when its size, DPI or tail
    // changed (the region and the layout must follow).
    bool PlaceAboveTray();
    void Relayout(bool full);
    // Rows changed (any thread).
    void InvalidateTable();
    // Paints only while GDI+ is started: its owner says when.
    void EnablePainting() { m_painting = true; }
    // The painter's pictures and the region go (before GDI+ ends).
    void ReleasePictures();

    [[nodiscard]] const BalloonFrame& Frame() const { return m_frame; }
    [[nodiscard]] std::wstring Caption() const;
    // No table repaint is posted, waits on its timer or waits to be painted.
    [[nodiscard]] bool TableSettled() const;
    InPlaceEditor& Editor() { return m_editor; }

private:
    friend class BaseWindow<BalloonWindow>;
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);

    void OnDpiChanged(int dpi, const RECT& suggested);
    void ApplyRegion();
    void OnTableChanged();
    void RepaintTable();
    void OnClick(int x, int y);
    void OnKey(WPARAM key);
    void LoadPalette();
    [[nodiscard]] BalloonPicture Picture() const;

    CAgent& m_agent;
    const TrayIcon& m_tray;
    const DropIntake& m_drops;
    InPlaceEditor m_editor;
    BalloonPainter m_painter;
    std::wstring m_version = L"1.0";
    std::wstring m_caption;  // title of the current page
    int m_pageWidth = 300, m_pageHeight = 500;  // the page's 96-DPI size
    BalloonFrame m_frame;
    POINT m_at{};  // top left on the screen
    BalloonPalette m_palette{};
    std::atomic<bool> m_visible{false};
    std::atomic<bool> m_tableQueued{false};  // a table repaint is posted or waits on its timer
    bool m_tableTimerArmed = false;
    bool m_painting = false;
    DWORD m_tablePainted = 0;  // tick of the last paint
};

}  // namespace zk
