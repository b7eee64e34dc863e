// The window object of the program (Windows): the hidden main window that is the single-instance
// marker and owns the tray icon and popup menu, the balloon window with the statistics panel
// and its in-place editor, the clock thread, and the agent with its workers.
// Threads: every window, the message loop, painting and the editor belong to the main thread.
// Workers replace row values (under the row list's lock) and call InvalidateTable(), which is
// safe from any thread: it posts to the balloon, once until the repaint it asks for. The balloon
// handle, its size, DPI and tail side and m_visible, which workers read, are atomics.
// TrayStateChanged() (any thread) only posts a message; the tray status model has its own lock.
// m_dropMutex guards the drop counts.
// Lengths: the pages and the painter speak 96-DPI pixels; everything on the window is those
// lengths scaled to the DPI of the monitor the balloon is on (m_dpi).
#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/agent.h"
#include "app/audit_thread.h"
#include "app/clock.h"
#include "app/registry_store.h"
#include "base/win_handles.h"
#include "intake/drop_order.h"
#include "ui/balloon_geometry.h"
#include "ui/folder_items.h"
#include "ui/folder_shell_win.h"
#include "ui/tray_shell_win.h"
#include "ui/tray_status.h"

namespace zk {

inline constexpr wchar_t kMainTitle[] = L"ZELTAVIO EXPRESS UPLOADER";
inline constexpr wchar_t kBalloonClass[] = L"CZKWindow";
inline constexpr UINT kTrayMessage = WM_USER + 1;
inline constexpr UINT kWakeMessage = WM_USER + 2;
inline constexpr UINT kTrayStateMessage = WM_USER + 3;
inline constexpr UINT kTableMessage = WM_USER + 4;  // to the balloon: rows changed
// Timers of the hidden main window.
inline constexpr UINT_PTR kTrayRetryTimer = 1, kTrayStateTimer = 2;
// Timer of the balloon, and the least time between two repaints of its table.
inline constexpr UINT_PTR kTableTimer = 3;
inline constexpr DWORD kTableGapMs = 100;

// The balloon's colours: the program's own palette, or the system's in high-contrast mode.
struct BalloonPalette {
    uint32_t frameOuter, frameInner, header, table, rowLight, rowGrey, readOnly, text, alert;
    uint32_t captionShadow, caption, cross, dropFill, dropEdge, dropText;
    bool highContrast = false;
    bool operator==(const BalloonPalette&) const = default;
};
inline COLORREF ToColorref(uint32_t argb) { return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF); }

class ScopedGdiplus;

// One row of the table as the painter draws it.
struct BalloonRow {
    RectI labelRect, valueRect;
    int32_t kind, align;
    bool pathTrimming, alternate, alert, editing;
    std::wstring label, value;
    // Everything but the value: what the painter's base picture holds.
    [[nodiscard]] bool SameFrame(const BalloonRow& o) const {
        return labelRect == o.labelRect && valueRect == o.valueRect && kind == o.kind && alternate == o.alternate &&
               editing == o.editing && label == o.label;
    }
    [[nodiscard]] bool SameValue(const BalloonRow& o) const {
        return value == o.value && align == o.align && pathTrimming == o.pathTrimming && alert == o.alert;
    }
};

// The painter's pictures, kept between paints (balloon_paint_win.cpp).
struct BalloonPaintCache;
struct BalloonPaintCacheDeleter {
    void operator()(BalloonPaintCache* cache) const;
};

class CZKWindow final : public IAgentWindow {
public:
    CZKWindow();
    // With another clock (tests).
    explicit CZKWindow(const IClock& clock);
    CZKWindow(const CZKWindow&) = delete;
    CZKWindow& operator=(const CZKWindow&) = delete;
    // The shutdown sequence.
    ~CZKWindow() override;

    // The entry function: single-instance test, windows, start-up, message loop. Gives the exit code.
    int Run(HINSTANCE instance);

    [[nodiscard]] bool IsVisible() const override { return m_visible.load(); }
    void InvalidateTable() override;
    void TrayStateChanged() override;

    // Drop intake: counts changed by the drop target (main thread) and the drop threads.
    void OnDragEnter(int files);
    void OnDragLeave();
    void OnDropFileDone();
    // A drop ended (or brought no file list): repaint without its count.
    void DropFinished();
    // A drop thread's order is made: its failures are journalled, then as above.
    void DropFinished(const DropOrderResult& result);
    // Hands the paths of one drop to an idle (or new) drop thread.
    bool StartDrop(std::vector<std::wstring> paths);
    [[nodiscard]] std::wstring DropAuditFolder() const;
    bool DropAccepts(const std::wstring& path);
    [[nodiscard]] const IClock& Clock() const { return m_clock; }

private:
    friend struct WindowProbe;  // tests drive the frame's steps one by one

    // Settings store, agent, the hidden main window's class and the window with its tray icon,
    // menu and clock thread.
    bool BuildFrame();
    bool CreateMainWindow();
    bool StartUp();
    void ShutDown();
    void StopClock();

    static LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK BalloonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnMainMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnBalloonMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    // Tray icon and menu.
    bool TrayIcon(DWORD command, HICON icon, const wchar_t* tip);
    // Adds the icon in version 4; a shell that is not ready yet is asked again on a timer.
    void AddTrayIcon();
    bool FindTrayRect(RECT& rect);
    // The icon's rectangle: the shell's answer, else the tray walk.
    RECT TrayIconRect();
    // A new shell's tray: the icon is added again and the balloon placed above it.
    void OnTaskbarCreated();
    void OnTray(WPARAM wp, LPARAM lp);
    void ShowFromTray();
    void OpenMenu(POINT at);
    void PageCommand(int page);
    // The folder items, between the pages and the exit item.
    void AppendFolderItems();
    // Opens the item's folder in the file manager, or says in the last-error row why not.
    void OpenFolderItem(FolderItem item);
    // The tray status's latest state onto the icon and its tip, at most a few times a second.
    void OnTrayState();
    void ApplyTrayState();
    [[nodiscard]] HICON TrayIconFor(TrayLook look) const;
    // The exit item: the hidden window goes, and with it the message loop.
    void Exit();

    // Balloon.
    void ShowPage(int page);
    void ShowBalloon();
    void HideBalloon();
    // Places the balloon by the tray icon at its monitor's DPI; true when its size, DPI or tail
    // changed (the region and the layout must follow).
    bool PlaceAboveTray();
    void OnDpiChanged(int dpi, const RECT& suggested);
    void Relayout(bool full);
    void ApplyRegion();
    void Paint(HDC dc, const RECT& dirty);
    void OnTableChanged();
    void RepaintTable();
    [[nodiscard]] std::vector<BalloonRow> RowsToPaint() const;
    [[nodiscard]] RECT TableRect() const;
    [[nodiscard]] int Scaled(int length96) const { return ScaleToDpi(length96, m_dpi.load()); }
    [[nodiscard]] RectI Body() const;
    [[nodiscard]] RectI CloseBox() const;
    [[nodiscard]] std::wstring CaptionText() const;
    void CopyPageToClipboard();
    void LoadPalette();
    [[nodiscard]] int DropPending() const;
    void StartDropTarget();
    void StopDropTarget();
    void StopDropThreads();

    // In-place editor.
    void OpenEditor(CZKListEntry* row);
    void CloseEditor(bool commit);
    void MoveEditor(bool backwards);
    void OnClick(int x, int y);

    HINSTANCE m_instance = nullptr;
    std::wstring m_agentClass = L"MORVANE_UPLOADER";
    std::wstring m_version = L"1.0";
    std::atomic<HWND> m_main{nullptr};  // read by TrayStateChanged on worker threads
    // Read by workers (InvalidateTable, the drop threads) while the main thread changes them.
    std::atomic<HWND> m_balloon{nullptr};
    HWND m_edit = nullptr;
    WNDPROC m_editProc = nullptr;
    UniqueHmenu m_menu;
    UniqueHicon m_icon;  // idle
    UniqueHicon m_iconSending, m_iconAttention;
    CSystemTrayShell m_systemShell;
    ITrayShell* m_shell = &m_systemShell;
    CSystemFolderShell m_systemFolderShell;
    IFolderShell* m_folderShell = &m_systemFolderShell;
    bool m_trayAdded = false;
    bool m_trayVersion4 = false;  // the shell speaks version 4: NIN_SELECT, WM_CONTEXTMENU
    std::optional<TrayState> m_trayShown;
    DWORD m_trayApplied = 0;      // tick of the last icon change
    bool m_trayTimerArmed = false;
    std::atomic<bool> m_tableQueued{false};  // a table repaint is posted or waits on its timer
    bool m_tableTimerArmed = false;
    DWORD m_tablePainted = 0;  // tick of the last paint
    // Broadcast by a shell that (re)starts: its tray has lost our icon.
    UINT m_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    UniqueHfont m_editFont;
    int m_editFontDpi = 0;
    RECT m_trayRect{};
    int m_left = 0, m_top = 0;
    int m_pageWidth = 300, m_pageHeight = 500;  // the page's 96-DPI size
    // Read by InvalidateTable on worker threads.
    std::atomic<int> m_width{300}, m_height{500};
    std::atomic<int> m_dpi{96};
    std::atomic<TailSide> m_side{TailSide::kBottom};
    int m_tailStart = 300 - balloon96::kTailOffset;
    BalloonPalette m_palette{};
    std::atomic<bool> m_visible{false};
    std::wstring m_caption;  // title of the current page
    CZKListEntry* m_editing = nullptr;
    UniqueHbrush m_brushLight, m_brushGrey;  // edit-control backgrounds
    bool m_modified = false;
    // Started by start-up, ended by the shutdown sequence in its order.
    std::optional<ScopedCoInit> m_com;
    std::optional<ScopedOleInit> m_ole;
    std::unique_ptr<ScopedGdiplus> m_gdiplus;
    std::unique_ptr<BalloonPaintCache, BalloonPaintCacheDeleter> m_paintCache;  // GDI+ objects: ends before m_gdiplus

    SystemClock m_systemClock;
    const IClock& m_clock;
    std::unique_ptr<CRegistrySettingsStore> m_store;
    std::unique_ptr<CAgent> m_agent;
    std::unique_ptr<CAuditThread> m_clockThread;
    bool m_shutDown = false;

    mutable std::mutex m_dropMutex;  // guards the drop counts
    int m_dropPending = 0;
    int m_dragFiles = 0;
    CZKLockedList m_dropThreads;  // entries' attached objects are CDropThread, deleted at shutdown
};

}  // namespace zk
