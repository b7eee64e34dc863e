// The queue page's model: one row per order in arrival order, the order folder's name and what
// is happening to it in words, at most the first twelve and a last row for the rest.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zk {

enum class OrderStage {
    kSettling,   // its files are still being written
    kSplitting,  // a big file is being cut into chunks
    kWaiting,    // ready, its turn not come yet
    kSending,    // the order being sent now
    kRetrying,   // an upload failed; tried again on the next pass
    kSetAside,   // the server keeps refusing a file; tried again at `retryClock`
    kPaused,     // ready, but the sending is paused
    kSent,       // every file accepted, its folder being cleaned up
};

struct QueueOrder {
    std::wstring name;  // the order folder's own name
    OrderStage stage = OrderStage::kWaiting;
    int64_t sent = 0, total = 0;  // files accepted, file items
    // Set aside: the file refused, the server's status (0: none came) or the failure's text,
    // and the local time of the next try ("15:42").
    std::wstring file, reason, retryClock;
    int32_t status = 0;
};

struct QueueRow {
    std::wstring label, value;
};

inline constexpr size_t kQueueRowsShown = 12;

// "ждёт, пока папка перестанет меняться", "отправляется: 12 из 30 файлов", "ждёт: сервер
// отклоняет файл X (413), следующая попытка в 15:42" ...
[[nodiscard]] std::wstring OrderStateWords(const QueueOrder& order);
// The rows of the first orders, then "и ещё N заказов" for the rest (`count`: every order in the
// queue, `orders` may hold only the first ones). An empty queue is one row that says so.
[[nodiscard]] std::vector<QueueRow> QueueRowsOf(const std::vector<QueueOrder>& orders, int64_t count);
// "3 заказа", "1 файл", "24 файла", "5 файлов": the Russian plural of a count.
[[nodiscard]] std::wstring CountWithNoun(int64_t n, const wchar_t* one, const wchar_t* few, const wchar_t* many);

}  // namespace zk
