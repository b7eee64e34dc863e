// The window object of the program (Windows): the one owner of everything that lives as long as
// the program: COM, OLE, GDI+, the settings store, the agent with its workers, the clock thread,
// the hidden main window with the tray icon and menu, the balloon with its editor, and drop
// intake. It creates them in the start-up order and ends them in the shutdown order, here alone,
// and decides what the icon's clicks and the menu's items do.
// Threads: the main thread, but for the agent's calls IsVisible, InvalidateTable,
// TrayStateChanged and ShowNotification, which workers make (each part says why that is safe).
#pragma once
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "app/agent.h"
#include "app/clock_thread.h"
#include "app/registry_store.h"
#include "base/clock.h"
#include "base/win_handles.h"
#include "ui/balloon_window_win.h"
#include "ui/drop_intake_win.h"
#include "ui/folder_shell_win.h"
#include "ui/tray_icon_win.h"
#include "ui/tray_shell_win.h"

namespace zk {

class ScopedGdiplus;

class CZKWindow final : public IAgentWindow, private ITrayOwner {
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

    // The steps Run takes, in its order. Before BuildFrame, the shells the icon and the folder
    // items talk to may be replaced (tests).
    void UseShells(ITrayShell& tray, IFolderShell& folders) {
        m_shell = &tray;
        m_folderShell = &folders;
    }
    // Settings store, agent, the hidden main window with its tray icon and menu, the clock thread.
    bool BuildFrame(HINSTANCE instance, const std::wstring& agentClass);
    // COM, OLE, the balloon, drop intake, GDI+ and the agent's start-up.
    bool StartUp();
    // Everything in the reverse order; once.
    void ShutDown();

    [[nodiscard]] bool ClockRunning() const { return m_clockThread && m_clockThread->IsRunning(); }
    // Null before BuildFrame and after ShutDown.
    [[nodiscard]] CAgent* Agent() { return m_agent.get(); }
    [[nodiscard]] TrayIcon* Tray() { return m_tray.get(); }
    [[nodiscard]] BalloonWindow* Balloon() { return m_balloon.get(); }
    [[nodiscard]] DropIntake* Drops() { return m_drops.get(); }

    // IAgentWindow.
    [[nodiscard]] bool IsVisible() const override { return m_balloon && m_balloon->IsVisible(); }
    void InvalidateTable() override;
    void TrayStateChanged() override;
    void ShowNotification(const Notification& notification) override;

private:
    // ITrayOwner.
    void OnIconSelected() override;
    void OnMenuOpening() override;
    void OnPageChosen(int page) override;
    void OnFolderChosen(FolderItem item) override;
    void OnSendingChosen(unsigned id) override;
    void OnExitChosen() override;
    void OnSecondStart() override;
    void OnIconAddedAgain() override;
    void OnNotificationClicked(const std::vector<std::wstring>& pageKeys) override;
    void OnMainDestroyed() override;

    bool CreateMainWindow();
    void StopClock();

    HINSTANCE m_instance = nullptr;
    std::wstring m_agentClass = L"MORVANE_UPLOADER";
    CSystemTrayShell m_systemShell;
    ITrayShell* m_shell = &m_systemShell;
    CSystemFolderShell m_systemFolderShell;
    IFolderShell* m_folderShell = &m_systemFolderShell;

    // Started by start-up, ended by the shutdown sequence in its order.
    std::optional<ScopedCoInit> m_com;
    std::optional<ScopedOleInit> m_ole;
    std::unique_ptr<ScopedGdiplus> m_gdiplus;
    SystemClock m_systemClock;
    const IClock& m_clock;
    std::unique_ptr<CRegistrySettingsStore> m_store;
    std::unique_ptr<CAgent> m_agent;
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<DropIntake> m_drops;
    std::unique_ptr<BalloonWindow> m_balloon;
    std::unique_ptr<CAuditThread> m_clockThread;
    bool m_shutDown = false;
};

}  // namespace zk
