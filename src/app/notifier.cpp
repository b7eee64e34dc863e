#include "app/notifier.h"

#include <utility>

#include "panel/queue_rows.h"

namespace zk {

std::wstring SizeInWords(uint64_t bytes) {
    constexpr uint64_t kKb = 1024, kMb = kKb * 1024, kGb = kMb * 1024;
    if (bytes >= 10 * kGb) return std::to_wstring((bytes + kGb / 2) / kGb) + L" ГБ";
    if (bytes >= kGb) {
        const uint64_t tenths = (bytes * 10 + kGb / 2) / kGb;
        return std::to_wstring(tenths / 10) + L"," + std::to_wstring(tenths % 10) + L" ГБ";
    }
    const uint64_t kilobytes = (bytes + kKb - 1) / kKb;  // a few bytes are 1 КБ, not 0
    if (kilobytes < 1024) return std::to_wstring(kilobytes) + L" КБ";
    return std::to_wstring((bytes + kMb / 2) / kMb) + L" МБ";
}

void CNotifier::OrderDone(const std::wstring& name, int64_t files, uint64_t bytes) {
    std::lock_guard lock(m_mutex);
    m_done.push_back({name, files, bytes});
}

void CNotifier::OrderSetAside(const std::wstring& name, const std::wstring& reason, const std::wstring& retryClock) {
    std::lock_guard lock(m_mutex);
    m_asideNames.push_back(name);
    m_asideText = reason + L". Следующая попытка в " + retryClock;
}

void CNotifier::LoginRefused(const std::wstring& reason) {
    std::lock_guard lock(m_mutex);
    if (std::exchange(m_refusedSaid, true)) return;
    m_refused = reason;
}

void CNotifier::LoginAccepted() {
    std::lock_guard lock(m_mutex);
    m_refusedSaid = false;
}

void CNotifier::ServerUnreachable(const std::wstring& reason, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    m_unreachableReason = reason;
    if (!m_unreachableSince) m_unreachableSince = now;
    if (!m_unreachableSaid && now - *m_unreachableSince >= kUnreachableAfter) m_unreachableSaid = m_unreachableDue = true;
}

void CNotifier::ServerAnswered() {
    std::lock_guard lock(m_mutex);
    m_unreachableSince.reset();
    m_unreachableSaid = m_unreachableDue = false;
}

std::optional<Notification> CNotifier::Take(Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    if (m_lastShown && now - *m_lastShown < kGap) return std::nullopt;
    std::optional<Notification> n;
    // What needs a person first; the orders sent wait for the next turn.
    if (!m_refused.empty()) {
        n = Notification{L"Вход на сервер не выполнен", m_refused, true, {L"AUTH_STATUS", L"USER_NAME"}};
        m_refused.clear();
    } else if (m_unreachableDue) {
        n = Notification{L"Сервер недоступен", L"Уже 5 минут нет связи с сервером: " + m_unreachableReason, true, {L"LAST_ERROR"}};
        m_unreachableDue = false;
    } else if (!m_asideNames.empty()) {
        const std::wstring text = m_asideNames.size() == 1 ? L"Заказ «" + m_asideNames[0] + L"» отложен: " + m_asideText
                                                           : L"Отложено заказов: " + std::to_wstring(m_asideNames.size()) +
                                                                 L". Последний, «" + m_asideNames.back() + L"»: " + m_asideText;
        n = Notification{L"Заказ отложен", text, true, {L"QUEUE_1"}};
        m_asideNames.clear();
    } else if (!m_done.empty()) {
        if (m_done.size() == 1) {
            const Done& d = m_done[0];
            n = Notification{L"Заказ отправлен",
                             L"Заказ «" + d.name + L"» отправлен: " + CountWithNoun(d.files, L"файл", L"файла", L"файлов") + L", " +
                                 SizeInWords(d.bytes),
                             false,
                             {L"TASKS_SENT"}};
        } else {
            n = Notification{L"Заказы отправлены", L"Отправлено заказов: " + std::to_wstring(m_done.size()), false, {L"TASKS_SENT"}};
        }
        m_done.clear();
    }
    if (n) m_lastShown = now;
    return n;
}

}  // namespace zk
