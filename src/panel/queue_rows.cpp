#include "panel/queue_rows.h"

namespace zk {

std::wstring CountWithNoun(int64_t n, const wchar_t* one, const wchar_t* few, const wchar_t* many) {
    const int64_t tens = n % 100, units = n % 10;
    const wchar_t* noun = (tens >= 11 && tens <= 14) ? many : units == 1 ? one : (units >= 2 && units <= 4) ? few : many;
    return std::to_wstring(n) + L" " + noun;
}

std::wstring OrderStateWords(const QueueOrder& o) {
    switch (o.stage) {
        case OrderStage::kSettling: return L"ждёт, пока папка перестанет меняться";
        case OrderStage::kSplitting: return L"нарезается на части";
        case OrderStage::kWaiting: return L"ждёт своей очереди";
        case OrderStage::kSending:
            return L"отправляется: " + std::to_wstring(o.sent) + L" из " + CountWithNoun(o.total, L"файла", L"файлов", L"файлов");
        case OrderStage::kRetrying: return L"ждёт новой попытки";
        case OrderStage::kSetAside: {
            // A status says the server refused; anything else is the failure's own text.
            const std::wstring why = o.status != 0 ? L"сервер отклоняет файл " + o.file + L" (" + std::to_wstring(o.status) + L")"
                                                   : L"файл " + o.file + L" не отправлен: " + o.reason;
            return L"ждёт: " + why + L", следующая попытка в " + o.retryClock;
        }
        case OrderStage::kPaused: return L"приостановлено";
        case OrderStage::kSent: return L"отправлен";
    }
    return {};
}

std::vector<QueueRow> QueueRowsOf(const std::vector<QueueOrder>& orders, int64_t count) {
    std::vector<QueueRow> rows;
    if (count <= 0 || orders.empty()) {
        rows.push_back({L"Заказов в очереди нет", L""});
        return rows;
    }
    for (size_t i = 0; i < orders.size() && i < kQueueRowsShown; ++i) rows.push_back({orders[i].name, OrderStateWords(orders[i])});
    const int64_t rest = count - static_cast<int64_t>(rows.size());
    if (rest > 0) rows.push_back({L"и ещё " + CountWithNoun(rest, L"заказ", L"заказа", L"заказов"), L""});
    return rows;
}

}  // namespace zk
