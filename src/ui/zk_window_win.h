// The window object of the program (Windows): the hidden main window that is the single-instance
// marker and owns the tray icon and popup menu, the balloon window with the statistics panel
// and its in-place editor, the clock thread, and the agent with its workers.
// Threads: every window, the message loop, painting and the editor belong to the main thread.
// Workers replace row values (under the row list's lock) and call InvalidateTable(), which is
// safe from any thread: the balloon handle, its size and m_visible, which workers read, are
// atomics. m_dropMutex guards the drop counts.
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

namespace zk {

inline constexpr wchar_t kMainTitle[] = L"ZELTAVIO EXPRESS UPLOADER";
inline constexpr wchar_t kBalloonClass[] = L"CZKWindow";
inline constexpr UINT kTrayMessage = WM_USER + 1;
inline constexpr UINT kWakeMessage = WM_USER + 2;

class ScopedGdiplus;

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
    bool FindTrayRect(RECT& rect);
    // A new shell's tray: the icon is added again and the balloon placed above it.
    void OnTaskbarCreated();
    void OnTray(LPARAM mouse);
    void PageCommand(int page);
    // The exit item: the hidden window goes, and with it the message loop.
    void Exit();

    // Balloon.
    void ShowPage(int page);
    void ShowBalloon();
    void HideBalloon();
    void PlaceAboveTray();
    void Relayout(bool full);
    void ApplyRegion();
    void Paint(HDC dc);
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
    HWND m_main = nullptr;
    // Read by workers (InvalidateTable, the drop threads) while the main thread changes them.
    std::atomic<HWND> m_balloon{nullptr};
    HWND m_edit = nullptr;
    WNDPROC m_editProc = nullptr;
    UniqueHmenu m_menu;
    UniqueHicon m_icon;
    // Broadcast by a shell that (re)starts: its tray has lost our icon.
    UINT m_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    UniqueHfont m_editFont;
    RECT m_trayRect{};
    int m_left = 0, m_top = 0;
    std::atomic<int> m_width{300}, m_height{500};  // read by InvalidateTable on worker threads
    std::atomic<bool> m_visible{false};
    std::wstring m_caption;  // title of the current page
    CZKListEntry* m_editing = nullptr;
    UniqueHbrush m_brushLight, m_brushGrey;  // edit-control backgrounds
    bool m_modified = false;
    // Started by start-up, ended by the shutdown sequence in its order.
    std::optional<ScopedCoInit> m_com;
    std::optional<ScopedOleInit> m_ole;
    std::unique_ptr<ScopedGdiplus> m_gdiplus;

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
