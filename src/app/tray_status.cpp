#include "app/tray_status.h"

#include "base/path.h"
#include "session/session_codes.h"

namespace zk {

std::wstring TrayTip(const TrayState& s) {
    std::wstring tip = L"ZELTAVIO EXPRESS UPLOADER\n";
    if (!s.paused.empty()) tip += s.paused + L"\n";
    if (!s.notice.empty()) {
        tip += s.notice;
        if (tip.size() > 127) tip.resize(127);
        return tip;
    }
    if (s.look == TrayLook::kAttention) tip += L"Ошибка! ";
    tip += L"Заданий в очереди: " + std::to_wstring(s.tasks);
    if (s.tasks > 0) tip += L", файлов: " + std::to_wstring(s.files) + L", " + std::to_wstring(s.kilobytes) + L" КБ";
    if (tip.size() > 127) tip.resize(127);
    return tip;
}

bool CTrayStatus::OnAuthEvent(int code) {
    std::lock_guard lock(m_mutex);
    if (code == kAuthFailed) m_authRefused = true;
    else if (code == kAuthSucceeded) m_authRefused = false;
    return Changed();
}

bool CTrayStatus::OnTransferEvent(int code, const Queue& queue, bool stopped, const std::wstring& task) {
    std::lock_guard lock(m_mutex);
    if (code == kTransferFailed && !stopped) m_uploadFailed = true;
    else if (code == kTransferAccepted) m_uploadFailed = false;
    if ((code == kTransferAccepted || code == kTransferTaskRemoved) && !task.empty() && task == m_asideTask) {
        m_asideTask.clear();
        m_asideNotice.clear();
    }
    m_queue = queue;
    return Changed();
}

bool CTrayStatus::OnSetAside(const std::wstring& task, const std::wstring& reason) {
    std::lock_guard lock(m_mutex);
    m_asideTask = task;
    m_asideNotice = L"Заказ «" + FolderName(task) + L"» отложен: " + reason;
    return Changed();
}

bool CTrayStatus::OnQueue(const Queue& queue) {
    std::lock_guard lock(m_mutex);
    m_queue = queue;
    return Changed();
}

bool CTrayStatus::OnPause(const std::wstring& text) {
    std::lock_guard lock(m_mutex);
    m_paused = text;
    return Changed();
}

bool CTrayStatus::Changed() {
    if (m_wakePending) return false;
    m_wakePending = true;
    return true;
}

TrayState CTrayStatus::Take() {
    std::lock_guard lock(m_mutex);
    m_wakePending = false;
    TrayState s;
    s.tasks = m_queue.tasks > 0 ? m_queue.tasks : 0;
    s.files = m_queue.files > 0 ? m_queue.files : 0;
    s.kilobytes = m_queue.bytes > 0 ? m_queue.bytes >> 10 : 0;
    s.notice = m_asideNotice;
    s.paused = m_paused;
    // What needs a person shows first; a pause shows even with nothing queued.
    s.look = m_authRefused || m_uploadFailed || !s.notice.empty() ? TrayLook::kAttention
             : !s.paused.empty()                                   ? TrayLook::kPaused
             : s.tasks > 0                                         ? TrayLook::kSending
                                                                   : TrayLook::kIdle;
    m_taken = s;
    return s;
}

}  // namespace zk
