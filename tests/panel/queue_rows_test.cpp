#include <gtest/gtest.h>

#include "panel/queue_rows.h"

using namespace zk;

namespace {
QueueOrder At(OrderStage stage, int64_t sent = 0, int64_t total = 0) {
    QueueOrder o;
    o.name = L"a";
    o.stage = stage;
    o.sent = sent;
    o.total = total;
    return o;
}
QueueOrder Aside(const wchar_t* reason, int32_t status, const wchar_t* clock) {
    QueueOrder o = At(OrderStage::kSetAside);
    o.file = L"big.jpg";
    o.reason = reason;
    o.status = status;
    o.retryClock = clock;
    return o;
}
}  // namespace

// The page's other words are checked where the registry fills them (the event journal's tests).
TEST(QueueRows, CountsInTheirRussianFormAndAReasonWithoutAStatus) {
    const struct {
        QueueOrder order;
        const wchar_t* words;
    } cases[] = {
        {At(OrderStage::kSending, 0, 1), L"отправляется: 0 из 1 файла"},
        {At(OrderStage::kSending, 20, 21), L"отправляется: 20 из 21 файла"},
        {At(OrderStage::kSending, 3, 11), L"отправляется: 3 из 11 файлов"},
        {Aside(L"Нет соединения с сервером (ошибка 12029)", 0, L"09:05"),
         L"ждёт: файл big.jpg не отправлен: Нет соединения с сервером (ошибка 12029), следующая попытка в 09:05"},
    };
    for (const auto& c : cases) EXPECT_EQ(OrderStateWords(c.order), c.words);
}

TEST(QueueRows, TwelveOrdersThenTheRestCounted) {
    std::vector<QueueOrder> orders;
    for (int i = 1; i <= 12; ++i) orders.push_back(At(OrderStage::kWaiting)), orders.back().name = L"order" + std::to_wstring(i);
    const struct {
        int64_t count;
        size_t rows;
        const wchar_t* last;
    } cases[] = {
        {12, 12, L"order12"},
        {13, 13, L"и ещё 1 заказ"},
        {15, 13, L"и ещё 3 заказа"},
        {17, 13, L"и ещё 5 заказов"},
        {23, 13, L"и ещё 11 заказов"},
        {34, 13, L"и ещё 22 заказа"},
    };
    for (const auto& c : cases) {
        const std::vector<QueueRow> rows = QueueRowsOf(orders, c.count);
        ASSERT_EQ(rows.size(), c.rows) << c.count;
        EXPECT_EQ(rows.back().label, c.last);
    }
    EXPECT_EQ(QueueRowsOf(orders, 12).front().value, L"ждёт своей очереди");
    const std::vector<QueueRow> none = QueueRowsOf({}, 0);
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0].label, L"Заказов в очереди нет");
}
