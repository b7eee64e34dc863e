#include "session/event_journal.h"

#include <chrono>
#include <cwchar>

#include "base/path.h"
#include "panel/stat_rows.h"
#include "session/queue_view.h"
#include "session/session_codes.h"
#include "session/velmo_connect.h"

namespace zk {
namespace {

std::wstring Num(long long v) { return std::to_wstring(v); }

std::wstring Clock(const LocalTime& t) {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"%02i:%02i:%02i", t.hour, t.minute, t.second);
    return buf;
}

}  // namespace

void CEventJournal::CountBytes(uint64_t bytesSent) {
    m_bytesNow = bytesSent;
    m_kilobytes = static_cast<int64_t>(m_bytesNow - m_bytesMark) >> 10;
}

int32_t CEventJournal::ErrorsCount() const {
    std::lock_guard lock(m_mutex);
    return m_errors;
}

int32_t CEventJournal::Bandwidth() const {
    std::lock_guard lock(m_mutex);
    return m_bandwidth;
}

void CEventJournal::IdentityBlock(const SessionSnapshot& s) {
    // The user's own password is never journalled in clear: the journal is readable by other
    // programs and may itself be uploaded.
    const std::pair<const wchar_t*, std::wstring> lines[] = {
        {L"INFO\tAuth URL      \t", s.authUrl},
        {L"INFO\tAuth user name\t", s.userName},
        {L"INFO\tAuth password \t", L"*****"},
        {L"INFO\tHTTP URL      \t", s.uploadUrl},
        {L"INFO\tHTTP Auth     \t", s.uploadAuthorization},
        {L"INFO\tHTTP Login    \t", s.httpLogin},
        {L"INFO\tHTTP Password \t", s.httpPassword},
        {L"INFO\tUID           \t", s.uid},
        {L"INFO\tAID           \t", s.aid},
        {L"INFO\tAudit folder  \t", m_hooks.auditFolder ? m_hooks.auditFolder() : std::wstring()},
        {L"INFO\tLogs folder   \t", m_rows.logsPath.Value()},
        {L"INFO\tMAC Adressr   \t", m_rows.mac.Value()},
        {L"INFO\tIP Adressr    \t", m_rows.ip.Value()},
        {L"INFO\tComp name     \t", m_hooks.computerName ? m_hooks.computerName() : std::wstring()},
        {L"INFO\tClass name    \t", m_hooks.agentClass ? m_hooks.agentClass() : std::wstring()},
    };
    for (auto& [start, value] : lines) Journal(start + value + L"\n");
}

void CEventJournal::OnAuthEvent(CVelmoConnect& session, int code) { OnAuthEvent(session.Snapshot(), session.Registry(), code); }
// Raised after every 1,024-byte step: counted without a copy of the session, and the rows follow
// at most every 100 ms, since a refresh and a repaint per step would cost more than the step.
void CEventJournal::OnTransferEvent(CVelmoConnect& session, int code) {
    if (code != kTransferStep) {
        OnTransferEvent(session.Snapshot(), session.Registry(), code);
        return;
    }
    const int64_t now = m_hooks.stepTicks ? m_hooks.stepTicks() : m_hooks.counter ? m_hooks.counter() : 0;
    const int64_t tenth = m_hooks.stepTicks ? 100 : m_hooks.counterFrequency / 10;
    bool refresh;
    {
        std::lock_guard lock(m_mutex);
        CountBytes(session.BytesSent());
        // The tick count wraps after 49 days; the difference of two taken as 32 bits does not.
        const int64_t elapsed = m_hooks.stepTicks ? static_cast<uint32_t>(now - m_lastStepRefresh) : now - m_lastStepRefresh;
        refresh = elapsed >= tenth;
        if (refresh) m_lastStepRefresh = now;
    }
    if (refresh) RefreshStatistics(session);
}

void CEventJournal::RefreshStatistics(CVelmoConnect& session) {
    if (!m_hooks.windowVisible || !m_hooks.windowVisible()) return;
    RefreshStatistics(session.Snapshot(), session.Registry());
}

void CEventJournal::OnAuthEvent(const SessionSnapshot& s, CZKRBTree* registry, int code) {
    if (code == kAuthSucceeded) {
        if (m_hooks.refreshIdentity) m_hooks.refreshIdentity();
        Journal(std::wstring(L"INFO\tВерсия\tb") + kProgramVersion + L" v" + s.version + L"\n");
        Journal(L"OK\tАутентификация\n");
        IdentityBlock(s);
        if (m_hooks.serverSetting)
            for (auto& [name, value] : s.serverParams)
                if (CZKListEntry* row = m_rows.FindByKey(name)) m_hooks.serverSetting(*row, value);
        m_rows.authStatus.SetValue(L"выполнена");
        m_rows.authStatus.alert = false;
        m_rows.userName.alert = false;
        m_rows.userPasswd.alert = false;
    } else if (code == kAuthFailed) {
        Journal(std::wstring(L"INFO\tВерсия\tv") + kProgramVersion + L" b" + s.version + L"\n");
        Journal(L"ERROR\tАутентификация\t" + s.lastErrorText + L"\n");
        IdentityBlock(s);
        int32_t errors;
        {
            std::lock_guard lock(m_mutex);
            errors = ++m_errors;
        }
        m_rows.authStatus.SetValue(L"ошибка");
        m_rows.authStatus.alert = true;
        if (errors != 0) m_rows.errorsCount.alert = true;
        m_rows.lastError.SetValue(s.lastErrorText);
        if (s.lastErrorCode == kErrServerRefused) {
            m_rows.userName.alert = true;
            m_rows.userPasswd.alert = true;
        }
    }
    RefreshStatistics(s, registry);
}

void CEventJournal::OnTransferEvent(const SessionSnapshot& s, CZKRBTree* registry, int code) {
    if (code < 0 || code > kTransferTaskAside) return;
    const std::wstring task = s.currentTaskName;
    switch (code) {
        case kTransferFailed: {
            Journal(L"INFO\tЗагрузка\t" + s.currentFile + L"\n");
            Journal(L"ERROR\tЗагрузка\t" + s.lastErrorText + L"\n");
            if (!s.serverAnswer.empty()) Journal(L"ERROR\tСервер ответил\t" + s.serverAnswer + L"\n");
            {
                std::lock_guard lock(m_mutex);
                ++m_errors;
            }
            m_rows.lastError.SetValue(s.lastErrorText);
            break;
        }
        case kTransferBegin: {
            std::lock_guard lock(m_mutex);
            m_bytesMark = s.bytesSent;
            m_start = m_hooks.counter ? m_hooks.counter() : 0;
            break;
        }
        case kTransferStep: {
            std::lock_guard lock(m_mutex);
            CountBytes(s.bytesSent);
            break;
        }
        case kTransferAccepted: {
            Journal(L"INFO\tЗагрузка\t" + s.currentFile + L"\n");
            Journal(L"OK\tСервер ответил\t" + s.serverAnswer + L"\n");
            std::lock_guard lock(m_mutex);
            ++m_filesSinceDrain;
            CountBytes(s.bytesSent);
            m_end = m_hooks.counter ? m_hooks.counter() : 0;
            m_seconds = static_cast<double>(m_end - m_start) / static_cast<double>(m_hooks.counterFrequency);
            // A duration too short to measure keeps the last bandwidth instead of dividing by zero.
            if (m_seconds > 0) m_bandwidth = static_cast<int32_t>(static_cast<double>(m_kilobytes) / m_seconds);
            break;
        }
        case kTransferReauth:
            Journal(L"INFO\tПереаутентификация\n");
            return;  // no refresh
        case kTransferDeleted:
            Journal(L"INFO\tУдаляем файл\t" + s.currentFile + L"\n");
            break;
        case kTransferTaskBegin:
            Journal(L"INFO\tЗадание \t" + task + L"\n");
            break;
        case kTransferTaskDone: {
            Journal(L"OK\tЗадание \t" + task + L"\n");
            std::lock_guard lock(m_mutex);
            if (!registry || registry->fileCount - m_filesSinceDrain <= 0) {
                m_bytesMark = m_bytesNow = 0;
                m_kilobytes = 0;
                m_start = m_end = 0;
                m_seconds = 0;
                m_bandwidth = 0;
            }
            break;
        }
        case kTransferTaskStopped:
            Journal(L"ERROR\tЗадание \t" + task + L"Прервано пользователем\n");
            break;
        case kTransferTaskAside: {
            // Said once per step aside: the failures behind it are journalled as ever, and the
            // growing pause keeps them as rare as the requests.
            const SetAsideOrder& a = s.setAside;
            const int64_t now = m_hooks.now ? m_hooks.now() : 0;
            const std::wstring at = Clock(m_hooks.local ? m_hooks.local(now + a.retrySeconds) : ToLocalTime(now + a.retrySeconds));
            Journal(L"ERROR\tЗадание отложено\t" + a.task + L"\t" + a.file + L"\t" + a.reason + L"\tследующая попытка в " + at + L"\n");
            m_rows.lastError.SetValue(L"Заказ «" + FolderName(a.task) + L"» отложен: " + a.reason + L" (файл " + FileNamePart(a.file) +
                                      L"), следующая попытка в " + at);
            break;
        }
        case kTransferTaskRemoved: {
            Journal(L"INFO\tУдаляем задание\t" + task + L"\n");
            {
                std::lock_guard lock(m_mutex);
                m_filesSinceDrain = 0;
            }
            // The task has left: the rows show no current task (no event follows to clear it).
            SessionSnapshot shown = s;
            shown.currentTaskName.clear();
            RefreshStatistics(shown, registry);
            return;
        }
        default: break;
    }
    RefreshStatistics(s, registry);
}

std::wstring CEventJournal::Forecast(int64_t queuedBytes) {
    std::lock_guard lock(m_mutex);
    if (m_bandwidth <= 0) return L"---";
    m_remaining = static_cast<uint32_t>(static_cast<uint64_t>(queuedBytes > 0 ? queuedBytes : 0) >> 10) / static_cast<uint32_t>(m_bandwidth);
    const int64_t now = m_hooks.now ? m_hooks.now() : 0;
    return Clock(m_hooks.local ? m_hooks.local(now + m_remaining) : ToLocalTime(now + m_remaining));
}

void CEventJournal::RefreshQueue(const SessionSnapshot& s, CZKRBTree& reg) {
    QueueViewInput in;
    in.currentTask = s.currentTaskName;
    in.paused = s.paused;
    in.now = std::chrono::steady_clock::now();
    const int64_t now = m_hooks.now ? m_hooks.now() : 0;
    in.clockIn = [&](std::chrono::seconds ahead) {
        return HourMinute(m_hooks.local ? m_hooks.local(now + ahead.count()) : ToLocalTime(now + ahead.count()));
    };
    m_rows.SetQueue(QueueRowsOf(QueueView(reg, in), reg.taskCount.load()));
}

void CEventJournal::RefreshStatistics(const SessionSnapshot& s, CZKRBTree* reg) {
    if (!m_hooks.windowVisible || !m_hooks.windowVisible()) return;
    const int64_t tasks = reg ? reg->taskCount.load() : 0;
    const int64_t files = reg ? reg->fileCount.load() : 0;
    const int64_t queued = reg ? reg->queuedBytes.load() : 0;
    int32_t errors, bandwidth, sinceDrain;
    {
        std::lock_guard lock(m_mutex);
        errors = m_errors;
        bandwidth = m_bandwidth;
        sinceDrain = m_filesSinceDrain;
    }
    m_rows.uploadUrl.SetValue(s.httpHost);
    m_rows.authUserName.SetValue(s.httpLogin);
    m_rows.uid.SetValue(s.uid);
    m_rows.aid.SetValue(s.aid);
    m_rows.authUserPasswd.SetValue(s.httpPassword);
    m_rows.tasksSent.SetValue(Num(static_cast<int32_t>(s.tasksSent)));
    m_rows.tasksQueued.SetValue(Num(tasks));
    m_rows.filesSent.SetValue(Num(static_cast<int32_t>(s.filesSent)));
    m_rows.filesQueued.SetValue(Num(files - sinceDrain > 0 ? files - sinceDrain : 0));
    m_rows.queueSize.SetValue(Num(static_cast<int64_t>(static_cast<uint64_t>(queued > 0 ? queued : 0) >> 10)));
    m_rows.kbytesSent.SetValue(Num(static_cast<int32_t>(s.bytesSent >> 10)));
    m_rows.currentFile.SetValue(s.currentFile);
    m_rows.currentTask.SetValue(s.currentTaskName);
    m_rows.errorsCount.SetValue(Num(errors));
    m_rows.bandwidth.SetValue(Num(static_cast<int64_t>(bandwidth) * 8));
    m_rows.deadlineForecast.SetValue(Forecast(queued));
    if (reg && m_rows.QueueShown()) RefreshQueue(s, *reg);
    if (m_hooks.invalidateTable) m_hooks.invalidateTable();
}

}  // namespace zk
