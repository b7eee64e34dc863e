// The agent without its windows: configuration, journal, identity, the three pipeline workers
// and the handlers of their events, in the start-up and shutdown order of the program.
// Threads: StartUp and ShutDown run on the main thread; the workers report through the event
// handlers on their own threads; the clock thread calls RotateJournal and
// RequestReauthentication.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/journal.h"
#include "app/notifier.h"
#include "app/settings.h"
#include "app/tray_status.h"
#include "base/clock.h"
#include "base/guarded.h"
#include "intake/big_file.h"
#include "intake/folder_audit.h"
#include "panel/folder_items.h"
#include "panel/pause_items.h"
#include "panel/stat_rows.h"
#include "session/event_journal.h"
#include "session/velmo_connect.h"
#include "tasks/machine_identity.h"

namespace zk {

// The texts of the string resources.
struct AgentResources {
    std::wstring agentClass = L"MORVANE_UPLOADER";  // 800
    std::wstring version = L"1.0";                   // 801
    std::wstring showAtStart;                        // 802
    std::wstring authUrl, userName, password, fileTypes, chunkSize, authTimeout;  // 900-905
};

// What the agent needs from its window.
class IAgentWindow {
public:
    virtual ~IAgentWindow() = default;
    [[nodiscard]] virtual bool IsVisible() const = 0;
    // Repaint the table area (any thread).
    virtual void InvalidateTable() = 0;
    // The tray status has news for the main thread to take (any thread).
    virtual void TrayStateChanged() {}
    // A notification beside the tray icon (the clock thread).
    virtual void ShowNotification(const Notification& /*notification*/) {}
};

// The store's value that keeps a pause across a restart: its end (seconds since 1970), -1 for
// one until resumed, 0 for none.
inline constexpr wchar_t kPausedUntilName[] = L"PausedUntil";

class CAgent final : public ISettingsTargets {
public:
    CAgent(const IClock& clock, ISettingsStore& store, IAgentWindow* window);
    CAgent(const CAgent&) = delete;
    CAgent& operator=(const CAgent&) = delete;
    ~CAgent() override;

    // Rows into the display list, configuration, identity, journal, the workers created,
    // wired and started, "Программа запущена" journalled. False when a worker cannot be made.
    bool StartUp(const AgentResources& resources, const std::wstring& moduleFolder);
    // "Программа завершена" journalled and the journal closed, then the session, the splitter
    // and the folder audit stopped and deleted in this order.
    void ShutDown();
    // The upload loop told to stop at once (the rest of ShutDown's work may take a while first).
    void RequestStop() {
        if (m_session) m_session->RequestStop();
    }

    // The sending paused until `until` (seconds since 1970, or kPausedUntilResumed): the upload in
    // progress ends, its file stays; kept in the settings store across a restart, journalled and
    // shown by the tray. A pause chosen again replaces the one before.
    void PauseSending(int64_t until);
    void ResumeSending();
    // The end of the pause, or nullopt while the sending goes on.
    [[nodiscard]] std::optional<int64_t> PausedUntil() const;
    // Every pause the session waits out ends now, and it tries at once.
    void SendNow() {
        if (m_session) m_session->TryNow();
    }

    // For the clock thread.
    void RotateJournal();
    // About once a second: a pause whose time has come ends.
    void EndPauseWhenDue();
    // About once a second: the notification due, if any, to the window.
    void NotifyWhenDue();
    void RequestReauthentication();
    [[nodiscard]] int AuthInterval() const { return m_settings.AuthInterval(); }

    CStatRows& Rows() { return m_rows; }
    CSettings& Settings() { return m_settings; }
    CJournal& Journal() { return m_journal; }
    CEventJournal& Events() { return m_events; }
    CTrayStatus& TrayStatus() { return m_tray; }
    CVelmoFolderAudit* Audit() { return m_audit.get(); }
    CVelmoConnect* Session() { return m_session.get(); }
    [[nodiscard]] const AgentResources& Resources() const { return m_resources; }
    [[nodiscard]] std::wstring ComputerName() const;
    // Refreshes MAC, IP and the computer name.
    void RefreshIdentity();
    // The folder a folder item shows: the one holding the open journal (until the journal is
    // reopened, an edited logs folder is not yet where the journal is), or the audit folder
    // being watched. No trailing separator.
    [[nodiscard]] std::wstring FolderOf(FolderItem item) const;

    // Settings writer targets.
    void AuditFolderChanged(const std::wstring& folder) override;
    void ContentListFlagChanged(bool on) override;
    void ChunkSizeChanged(uint64_t bytes) override;
    void CredentialsChanged(const std::wstring& url, const std::wstring& user, const std::wstring& password) override;

private:
    // A setting changed: the orders set aside are tried again at once.
    void RetrySetAside();
    // Rotates the journal; a failure goes to the journal (when open) and to the last-error row.
    void RotateAndReport();
    JournalSettings CurrentJournalSettings() const;
    void RefreshStatistics();
    // The folder audit's events (its thread): journal lines of its notices, then the statistics.
    void OnAuditEvent(CVelmoFolderAudit& audit, int code);
    // The session's events as the tray shows them (the upload loop's thread).
    void OnAuthEventForTray(CVelmoConnect& session, int code);
    // The same events as the notifications tell them.
    void NoteForNotifications(const SessionSnapshot& s, int code, bool auth);
    void OnTransferEventForTray(CVelmoConnect& session, int code);
    [[nodiscard]] CTrayStatus::Queue QueueNow();
    void WakeForTray(bool wake) {
        if (wake && m_window) m_window->TrayStateChanged();
    }

    // The pause as the store, the session, the journal and the tray get it.
    void ApplyPause(int64_t until);

    const IClock& m_clock;
    ISettingsStore& m_store;
    IAgentWindow* m_window;
    std::mutex m_pauseMutex;              // one pause change at a time (main and clock threads)
    std::atomic<int64_t> m_pausedUntil{0};  // 0: not paused
    AgentResources m_resources;
    CStatRows m_rows;
    CSettings m_settings;
    CJournal m_journal;
    Guarded<MachineIdentity> m_identity;
    CEventJournal m_events;
    CTrayStatus m_tray;
    CNotifier m_notifier;
    // Declared in reverse order of their stop: the session goes first, the audit (with the
    // registry) last.
    std::unique_ptr<CVelmoFolderAudit> m_audit;
    std::unique_ptr<CVelmoBigFile> m_splitter;
    std::unique_ptr<CVelmoConnect> m_session;
    bool m_shutDown = false;
};

}  // namespace zk
