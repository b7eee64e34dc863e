#include "app/agent.h"

#include <chrono>
#include <cwchar>
#include <set>

#include "base/fsys.h"
#include "base/path.h"
#include "http/net_error_words.h"
#include "intake/chunk_name.h"
#include "session/session_codes.h"

namespace zk {
namespace {
int64_t SteadyCounter() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// An order's own files, as its people count them: a big file cut into chunks is one, the content
// list the agent wrote is none.
struct OrderFiles {
    int64_t files = 0;
    uint64_t bytes = 0;
};
OrderFiles FilesOf(CZKRBTree& registry, const std::wstring& task) {
    OrderFiles out;
    std::lock_guard lock(registry.Mutex());
    CZKRBTreeNode* t = registry.Find(task);
    if (!t) return out;
    std::set<std::wstring> names;
    std::lock_guard files(t->Files().Mutex());
    for (const CZKListEntry* f = t->Files().First(); f; f = f->next) {
        if (IsContentListPath(f->value)) continue;
        const ChunkNameInfo chunk = ParseChunkName(f->value);
        names.insert(chunk.isChunk ? chunk.sourcePath : f->value);
        out.bytes += f->size;
    }
    out.files = static_cast<int64_t>(names.size());
    return out;
}

}  // namespace

CAgent::CAgent(const IClock& clock, ISettingsStore& store, IAgentWindow* window)
    : m_clock(clock),
      m_store(store),
      m_window(window),
      m_settings(m_rows, store),
      m_journal(clock),
      m_events(m_rows,
               EventHooks{
                   [this](const std::wstring& text) { m_journal.Write(text); },
                   [this] { RefreshIdentity(); },
                   [this] { return ComputerName(); },
                   [this] { return m_resources.agentClass; },
                   [this] { return m_audit ? m_audit->Folder() : std::wstring(); },
                   [this] { return m_window && m_window->IsVisible(); },
                   [this] {
                       if (m_window) m_window->InvalidateTable();
                   },
                   SteadyCounter,
                   1000000000,
                   [this] { return m_clock.Now(); },
                   [this](int64_t t) { return m_clock.Local(t); },
                   [this](CZKListEntry& row, const std::wstring& value) { (void)m_settings.Write(row, value); },
                   [] { return TickCountMs(); },
               }) {
    m_settings.SetTargets(this);
}

CAgent::~CAgent() { ShutDown(); }

std::wstring CAgent::ComputerName() const {
    return m_identity.With([](const MachineIdentity& id) { return id.computerName; });
}

void CAgent::RefreshIdentity() {
    MachineIdentity id = m_identity.Copy();
    RefreshMachineIdentity(id);
    m_rows.mac.SetValue(id.mac);
    m_rows.ip.SetValue(id.ip);
    m_identity.Set(std::move(id));
}

std::wstring CAgent::FolderOf(FolderItem item) const {
    std::wstring folder;
    if (item == FolderItem::kJournals) {
        const std::wstring journal = m_journal.CurrentPath();
        folder = journal.empty() ? CJournal::TodoFolderOf(m_rows.logsPath.Value()) : FolderPart(journal);
    } else {
        folder = m_audit ? m_audit->Folder() : m_rows.auditPath.Value();
    }
    StripTrailingSeparators(folder);
    return folder;
}

JournalSettings CAgent::CurrentJournalSettings() const {
    return {m_resources.agentClass, m_rows.mac.Value(), m_rows.logsPath.Value(), m_rows.auditPath.Value(), m_settings.Flags().journals};
}

void CAgent::RefreshStatistics() {
    if (m_session) m_events.RefreshStatistics(*m_session);
}

void CAgent::OnAuditEvent(CVelmoFolderAudit& audit, int code) {
    if (code == CVelmoFolderAudit::kEventFileDeleted) {
        m_journal.Write(L"INFO\tУдаляем файл\t" + audit.LastNotice().path + L"\n");
    } else if (code == CVelmoFolderAudit::kEventOrderSetAside) {
        const CVelmoFolderAudit::Notice n = audit.LastNotice();
        m_journal.Write(L"ERROR\tЗадание \t" + n.path + L"\t" + n.reason + L"\n");
    } else if (code == CVelmoFolderAudit::kEventWatchRestarted) {
        const CVelmoFolderAudit::Notice n = audit.LastNotice();
        m_journal.Write(L"ERROR\tПапка заданий\t" + n.path + L"\tСлежение за новыми заказами прервалось (ошибка " + n.reason +
                        L") и запущено снова\n");
    }
    RefreshStatistics();
    WakeForTray(m_tray.OnQueue(QueueNow()));
}

CTrayStatus::Queue CAgent::QueueNow() {
    if (!m_audit) return {};
    CZKRBTree& reg = m_audit->Registry();
    return {reg.taskCount.load(), reg.fileCount.load(), reg.queuedBytes.load()};
}

void CAgent::OnAuthEventForTray(CVelmoConnect& session, int code) {
    if (code == kAuthSucceeded || code == kAuthFailed) NoteForNotifications(session.Snapshot(), code, true);
    WakeForTray(m_tray.OnAuthEvent(code));
}


void CAgent::NoteForNotifications(const SessionSnapshot& s, int code, bool auth) {
    const auto now = std::chrono::steady_clock::now();
    if (auth ? code == kAuthSucceeded : code == kTransferAccepted) {
        m_notifier.ServerAnswered();
        if (auth) m_notifier.LoginAccepted();
    } else if (auth ? code == kAuthFailed : code == kTransferFailed) {
        if (IsUnreachableError(s.lastOsError)) m_notifier.ServerUnreachable(s.lastErrorText, now);
        else if (s.lastErrorCode != kErrStopped && s.lastErrorCode != kErrPaused) m_notifier.ServerAnswered();
        // A login the server refused, or a certificate not accepted, needs a person.
        if (auth && (s.lastErrorCode == kErrServerRefused || IsCertificateError(s.lastOsError))) m_notifier.LoginRefused(s.lastErrorText);
    } else if (code == kTransferTaskAside && s.setAside.times == 1) {  // its later steps aside are the journal's
        const std::wstring retry = HourMinute(m_clock.Local(m_clock.Now() + s.setAside.retrySeconds));
        m_notifier.OrderSetAside(FolderName(s.setAside.task), s.setAside.reason, retry);
    } else if (code == kTransferTaskDone && m_settings.NotifyDone() && m_audit) {
        const OrderFiles files = FilesOf(m_audit->Registry(), s.currentTaskName);
        m_notifier.OrderDone(FolderName(s.currentTaskName), files.files, files.bytes);
    }
}

void CAgent::NotifyWhenDue() {
    const std::optional<Notification> n = m_notifier.Take(std::chrono::steady_clock::now());
    if (n && m_window) m_window->ShowNotification(*n);
}

void CAgent::OnTransferEventForTray(CVelmoConnect& session, int code) {
    if (code == kTransferStep) return;  // a step changes nothing the tray shows
    const SessionSnapshot s = session.Snapshot();
    NoteForNotifications(s, code, false);
    if (code == kTransferTaskAside) {
        WakeForTray(m_tray.OnSetAside(s.setAside.task, s.setAside.reason));
        return;
    }
    const bool stopped = code == kTransferFailed && s.lastErrorCode == kErrStopped;
    WakeForTray(m_tray.OnTransferEvent(code, QueueNow(), stopped, s.currentTaskName));
}

bool CAgent::StartUp(const AgentResources& resources, const std::wstring& moduleFolder) {
    m_resources = resources;
    m_rows.EnterDisplayList();
    m_settings.Load({resources.authUrl, resources.userName, resources.password, resources.fileTypes, resources.chunkSize,
                     resources.authTimeout, moduleFolder});
    RefreshIdentity();
    RotateAndReport();

    m_audit = std::make_unique<CVelmoFolderAudit>();
    m_audit->SetCallback(this, [](void* user, CVelmoFolderAudit* audit, int code) { static_cast<CAgent*>(user)->OnAuditEvent(*audit, code); });
    m_audit->contentListFlag = m_settings.Flags().contentLists;
    m_audit->sizeLimit = m_settings.ChunkBytes();

    m_session = std::make_unique<CVelmoConnect>();
    m_session->SetAuthCallback(this, [](void* user, CVelmoConnect* s, int code) {
        auto* self = static_cast<CAgent*>(user);
        self->m_events.OnAuthEvent(*s, code);
        self->OnAuthEventForTray(*s, code);
    });
    m_session->SetTransferCallback(this, [](void* user, CVelmoConnect* s, int code) {
        auto* self = static_cast<CAgent*>(user);
        self->m_events.OnTransferEvent(*s, code);
        self->OnTransferEventForTray(*s, code);
    });
    m_session->SetRegistry(&m_audit->Registry());
    m_session->SetVersionString(resources.version);
    m_session->SetUploadLimit(m_settings.UploadLimit());
    m_session->SetAuthServerUrl(m_rows.authUrl.Value());
    m_session->SetUserName(m_rows.userName.Value());
    m_session->SetPassword(m_rows.userPasswd.Value());

    m_splitter = std::make_unique<CVelmoBigFile>();
    m_splitter->SetRegistry(&m_audit->Registry());
    m_splitter->SetCallback(nullptr, [](void*, CVelmoBigFile*, int) {});
    m_splitter->chunkSize = m_settings.ChunkBytes();

    // Journalled before the workers start, so that the start is the first line of the run.
    m_journal.Write(L"INFO\tПрограмма запущена\n");
    // A pause chosen before the restart holds, unless its time has come meanwhile.
    if (m_store.Open()) {
        const std::optional<std::wstring> stored = m_store.Read(kPausedUntilName);
        m_store.Close();
        const int64_t until = stored ? std::wcstoll(stored->c_str(), nullptr, 10) : 0;
        if (until == kPausedUntilResumed || until > m_clock.Now()) PauseSending(until);
    }
    return m_session->Start() && m_audit->Start(m_rows.auditPath.Value()) && m_splitter->Start();
}

void CAgent::ShutDown() {
    if (m_shutDown) return;
    m_shutDown = true;
    m_journal.WriteLastAndClose(L"INFO\tПрограмма завершена\n");
    if (m_session && !m_session->Stop(std::chrono::seconds(3))) {
        // The platform keeps the upload loop in a call that ignores the abort (Wine's WinINet
        // does while a server withholds its answer). The process is ending: the session and the
        // registry it uses are left alive for that thread rather than freed under it.
        m_session->DetachCallbacks();
        (void)m_session.release();
        m_splitter.reset();
        if (m_audit) m_audit->StopWorker();
        (void)m_audit.release();
        return;
    }
    m_session.reset();
    m_splitter.reset();
    m_audit.reset();
}

void CAgent::RotateJournal() {
    if (m_session) RotateAndReport();  // only once the configuration is loaded
}

void CAgent::RotateAndReport() {
    if (m_journal.Rotate(CurrentJournalSettings())) return;
    // Shown in the window too: a journal that cannot be opened has no other way to tell.
    const std::wstring text = m_journal.IsOpen() ? L"Не удалось перенести журналы прошлых дней"
                                                 : L"Не удалось открыть журнал " + m_journal.CurrentPath();
    m_journal.Write(L"ERROR\tЖурнал\t" + text + L"\n");
    m_rows.lastError.SetValue(text);
}

void CAgent::RequestReauthentication() {
    if (m_session) m_session->RequestReauthentication();
}

void CAgent::PauseSending(int64_t until) {
    std::lock_guard lock(m_pauseMutex);
    ApplyPause(until);
}

void CAgent::ResumeSending() {
    std::lock_guard lock(m_pauseMutex);
    if (m_pausedUntil.load() != 0) ApplyPause(0);
}

std::optional<int64_t> CAgent::PausedUntil() const {
    const int64_t until = m_pausedUntil.load();
    return until == 0 ? std::nullopt : std::optional<int64_t>(until);
}

void CAgent::EndPauseWhenDue() {
    std::lock_guard lock(m_pauseMutex);
    const int64_t until = m_pausedUntil.load();
    if (until > 0 && m_clock.Now() >= until) ApplyPause(0);
}

void CAgent::ApplyPause(int64_t until) {
    m_pausedUntil = until;
    if (m_store.Open()) {
        (void)m_store.Write(kPausedUntilName, std::to_wstring(until));
        m_store.Close();
    }
    std::wstring text;
    if (until != 0) text = PausedText(until == kPausedUntilResumed, m_clock.Local(until == kPausedUntilResumed ? 0 : until));
    if (m_session) {
        if (until != 0) m_session->Pause();
        else m_session->Resume();
    }
    m_journal.Write(L"INFO\tПауза\t" + (until != 0 ? text : std::wstring(L"Отправка возобновлена")) + L"\n");
    WakeForTray(m_tray.OnPause(text));
    RefreshStatistics();  // the queue page says which orders wait for the pause
}

void CAgent::AuditFolderChanged(const std::wstring& folder) {
    if (m_audit) m_audit->SetAuditFolder(folder);
    RetrySetAside();
}

void CAgent::ContentListFlagChanged(bool on) {
    if (m_audit) m_audit->contentListFlag = on;
    RetrySetAside();
}

void CAgent::ChunkSizeChanged(uint64_t bytes) {
    if (m_audit) m_audit->sizeLimit = bytes;
    if (m_splitter) m_splitter->chunkSize = bytes;
    RetrySetAside();
}

void CAgent::RetrySetAside() {
    if (m_session) m_session->RetrySetAsideNow();
}

void CAgent::CredentialsChanged(const std::wstring& url, const std::wstring& user, const std::wstring& password) {
    if (!m_session) return;
    m_session->SetAuthServerUrl(url);
    m_session->SetUserName(user);
    m_session->SetPassword(password);
    m_session->RequestReauthentication();
    m_session->RetrySetAsideNow();
}

}  // namespace zk
