// The hidden main window with the notification-area icon and the popup menu. The window is the
// single-instance marker (its class is the agent's class, its title the program's); the icon is
// added in version 4 (again after a shell restart, and until a shell that is not ready yet takes
// it), its look and tip follow the tray status; what a click or a menu item means is its owner's.
// Thread: the main thread; StateChanged() and ShowNotification() may be called on any thread
// (they only post; the notification waits in m_pendingNotice, which guards itself).
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/notifier.h"
#include "app/tray_status.h"
#include "base/guarded.h"
#include "base/win_handles.h"
#include "panel/folder_items.h"
#include "panel/pause_items.h"
#include "ui/base_window_win.h"
#include "ui/tray_shell_win.h"

namespace zk {

inline constexpr wchar_t kMainTitle[] = L"ZELTAVIO EXPRESS UPLOADER";
inline constexpr UINT kTrayMessage = WM_USER + 1;
inline constexpr UINT kWakeMessage = WM_USER + 2;
inline constexpr UINT kTrayStateMessage = WM_USER + 3;
inline constexpr UINT kNotifyMessage = WM_USER + 4;

// What the icon and the menu ask of the window object.
class ITrayOwner {
public:
    virtual ~ITrayOwner() = default;
    virtual void OnIconSelected() = 0;  // a click or Enter on the icon
    virtual void OnMenuOpening() = 0;
    virtual void OnPageChosen(int page) = 0;
    virtual void OnFolderChosen(FolderItem item) = 0;
    // A pause item, "Возобновить отправку" or "Отправить сейчас" (pause_items.h).
    virtual void OnSendingChosen(unsigned id) = 0;
    virtual void OnExitChosen() = 0;  // the exit item, or WM_CLOSE (the installer's way)
    virtual void OnSecondStart() = 0;
    virtual void OnIconAddedAgain() = 0;  // a new shell took the icon
    // A notification was clicked: the page listing `pageKeys` is wanted.
    virtual void OnNotificationClicked(const std::vector<std::wstring>& pageKeys) = 0;
    virtual void OnMainDestroyed() = 0;   // before the message loop is told to end
};

class TrayIcon final : public BaseWindow<TrayIcon> {
public:
    TrayIcon(ITrayOwner& owner, CTrayStatus& status, ITrayShell& shell) : m_owner(owner), m_status(status), m_shell(shell) {}

    // The window of class `agentClass`, the icons, an empty menu, and the icon added.
    bool Create(HINSTANCE instance, const std::wstring& agentClass);
    void AppendMenuItem(UINT id, const std::wstring& text);
    // Here in the menu: the pause items (as SetPaused says) and "Отправить сейчас".
    void AppendSendingItems(bool paused);
    // "Приостановить отправку" with its lengths, or "Возобновить отправку" while paused.
    void SetPaused(bool paused);
    [[nodiscard]] HMENU Menu() const { return m_menu.get(); }
    [[nodiscard]] HICON IconFor(TrayLook look) const;
    // The icon's screen rectangle: the shell's answer, else the tray walk, else the work
    // area's bottom right corner.
    [[nodiscard]] RECT IconRect() const;
    // The tray status has a new state (any thread).
    void StateChanged();
    // A notification beside the icon, as the shell shows them (a toast on Windows 10 and 11,
    // silenced by Focus Assist as people expect). Any thread: it is shown on the main thread.
    void ShowNotification(const Notification& notification);

private:
    friend class BaseWindow<TrayIcon>;
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);

    bool Notify(DWORD command, HICON icon, const wchar_t* tip);
    // Adds the icon in version 4; a shell that is not ready yet is asked again on a timer.
    void Add();
    void OnTray(WPARAM wp, LPARAM lp);
    void OpenMenu(POINT at);
    void OnMenuCommand(UINT id);
    // The latest state onto the icon and its tip, at most a few times a second.
    void OnState();
    void ApplyState();
    bool FindTrayRect(RECT& rect) const;
    void OnNotify();

    ITrayOwner& m_owner;
    int m_pausePosition = -1;  // of the pause item in the menu
    CTrayStatus& m_status;
    ITrayShell& m_shell;
    UniqueHmenu m_menu;
    UniqueHicon m_icon, m_iconSending, m_iconAttention, m_iconPaused;
    bool m_added = false;
    bool m_version4 = false;  // the shell speaks version 4: NIN_SELECT, WM_CONTEXTMENU
    std::optional<TrayState> m_shown;
    DWORD m_applied = 0;  // tick of the last icon change
    bool m_timerArmed = false;
    Guarded<std::optional<Notification>> m_pendingNotice;  // from the clock thread
    std::vector<std::wstring> m_noticeKeys;                  // of the one shown last
    // Broadcast by a shell that (re)starts: its tray has lost our icon.
    UINT m_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
};

}  // namespace zk
