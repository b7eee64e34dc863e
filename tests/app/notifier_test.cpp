// What the person at the shop's computer is told beside the tray icon, and how often.
#include <gtest/gtest.h>

#include "app/notifier.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {
const CNotifier::Clock::time_point t0{std::chrono::hours(1000)};
}  // namespace

TEST(Notifier, OneAtMostEveryTenSecondsTheOrdersSentMeanwhileInOne) {
    CNotifier n;
    EXPECT_FALSE(n.Take(t0)) << "nothing to say";
    n.OrderDone(L"Иванова", 24, 180ull << 20);
    const std::optional<Notification> first = n.Take(t0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text, L"Заказ «Иванова» отправлен: 24 файла, 180 МБ");
    EXPECT_FALSE(first->error);
    for (const wchar_t* name : {L"Петров", L"Сидорова", L"Кузнецов"}) n.OrderDone(name, 1, 1000);
    EXPECT_FALSE(n.Take(t0 + 9s)) << "within ten seconds of the last";
    const std::optional<Notification> merged = n.Take(t0 + 10s);
    ASSERT_TRUE(merged);
    EXPECT_EQ(merged->text, L"Отправлено заказов: 3");
    EXPECT_FALSE(n.Take(t0 + 30s)) << "said once";

    // What needs a person goes first; the orders sent wait for the next turn.
    n.OrderDone(L"Попов", 2, 5000);
    n.OrderSetAside(L"Смирнова", L"413 Request Entity Too Large", L"15:42");
    n.OrderSetAside(L"Волкова", L"413 Request Entity Too Large", L"15:44");
    n.LoginRefused(L"Неверный пароль");
    const struct {
        std::chrono::seconds at;
        const wchar_t* text;
        bool error;
    } turns[] = {
        {40s, L"Неверный пароль", true},
        {50s, L"Отложено заказов: 2. Последний, «Волкова»: 413 Request Entity Too Large. Следующая попытка в 15:44", true},
        {60s, L"Заказ «Попов» отправлен: 2 файла, 5 КБ", false},
    };
    for (const auto& turn : turns) {
        const std::optional<Notification> shown = n.Take(t0 + turn.at);
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->text, turn.text);
        EXPECT_EQ(shown->error, turn.error);
    }
    n.OrderSetAside(L"Смирнова", L"Нет соединения", L"16:00");
    EXPECT_EQ(n.Take(t0 + 70s)->text, L"Заказ «Смирнова» отложен: Нет соединения. Следующая попытка в 16:00");

    // The agent tries to log in again every few seconds: a refusal is told once until one is accepted.
    n.LoginRefused(L"Неверный пароль");
    EXPECT_FALSE(n.Take(t0 + 80s)) << "already told";
    n.LoginAccepted();
    n.LoginRefused(L"Пользователь заблокирован");
    EXPECT_EQ(n.Take(t0 + 90s)->text, L"Пользователь заблокирован");
}

TEST(Notifier, AServerOutOfReachIsToldAfterFiveMinutesOncePerStretch) {
    CNotifier n;
    n.ServerUnreachable(L"Не удалось подключиться к серверу (ошибка 12029)", t0);
    n.ServerUnreachable(L"Не удалось подключиться к серверу (ошибка 12029)", t0 + 4min);
    EXPECT_FALSE(n.Take(t0 + 4min));
    n.ServerAnswered();  // a short outage ends unsaid
    n.ServerUnreachable(L"Сервер не ответил вовремя (ошибка 12002)", t0 + 5min);
    EXPECT_FALSE(n.Take(t0 + 9min)) << "the stretch began again at 5 minutes";
    n.ServerUnreachable(L"Сервер не ответил вовремя (ошибка 12002)", t0 + 10min);
    const std::optional<Notification> said = n.Take(t0 + 10min);
    ASSERT_TRUE(said);
    EXPECT_EQ(said->text, L"Уже 5 минут нет связи с сервером: Сервер не ответил вовремя (ошибка 12002)");
    EXPECT_TRUE(said->error);
    n.ServerUnreachable(L"again", t0 + 20min);
    EXPECT_FALSE(n.Take(t0 + 20min)) << "once per stretch";
    n.ServerAnswered();
    n.ServerUnreachable(L"again", t0 + 21min);
    n.ServerUnreachable(L"again", t0 + 26min);
    EXPECT_TRUE(n.Take(t0 + 26min)) << "a new stretch is told again";
}

TEST(Notifier, SizesAsPeopleReadThem) {
    const struct {
        uint64_t bytes;
        const wchar_t* words;
    } cases[] = {{0, L"0 КБ"},           {1, L"1 КБ"},          {5000, L"5 КБ"},       {1048575, L"1 МБ"},
                 {1048576, L"1 МБ"},     {180ull << 20, L"180 МБ"}, {(3ull << 30) / 2, L"1,5 ГБ"}, {12ull << 30, L"12 ГБ"}};
    for (const auto& c : cases) EXPECT_EQ(SizeInWords(c.bytes), c.words) << c.bytes;
}
