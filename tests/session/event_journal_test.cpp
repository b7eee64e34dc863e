// The journal lines and statistics of the session's events.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

#include "app/settings.h"
#include "base/path.h"
#include "session/event_journal.h"
#include "session_helpers.h"
#include "support/fake_clock.h"

using namespace zk;

namespace {

class Events : public ::testing::Test {
protected:
    void SetUp() override {
        rows.EnterDisplayList();
        settings.Load({L"http://a/ru/99", L"loader", L"malvoro", L"*.kzo,*.jpg,*.lst", L"0", L"60", dir.Path()});
        rows.mac.SetValue(L"001122AABBCC");
        rows.ip.SetValue(L"10.0.0.5");
        EventHooks hooks;
        hooks.journal = [this](const std::wstring& t) { lines.push_back(t); };
        hooks.refreshIdentity = [this] { ++identityRefreshes; };
        hooks.computerName = [] { return std::wstring(L"PC-1"); };
        hooks.agentClass = [] { return std::wstring(L"TOLMARIN_SS_UPLOADER"); };
        hooks.auditFolder = [] { return std::wstring(L"C:\\audit.UPLOAD\\"); };
        hooks.windowVisible = [this] { return visible.load(); };
        hooks.invalidateTable = [this] { ++invalidations; };
        hooks.counter = [this] { return counter; };
        hooks.counterFrequency = 1000;
        hooks.now = [this] { return clock.Now(); };
        hooks.local = [](int64_t t) { return test::FakeClock::Utc(t); };
        hooks.serverSetting = [this](CZKListEntry& row, const std::wstring& value) { (void)settings.Write(row, value); };
        events = std::make_unique<CEventJournal>(rows, hooks);
        snap.authUrl = L"http://a/ru/99";
        snap.userName = L"loader";
        snap.password = L"malvoro";
        snap.version = L"2.00";
        snap.uploadUrl = L"http://h:80/up";
        snap.uploadAuthorization = L"Basic aDpw";
        snap.httpHost = L"h";
        snap.httpLogin = L"hl";
        snap.httpPassword = L"hp";
        snap.uid = L"17";
        snap.aid = L"42";
    }

    test::TempDir dir{L"events"};
    CStatRows rows;
    MemorySettingsStore store;
    CSettings settings{rows, store};
    std::vector<std::wstring> lines;
    int identityRefreshes = 0, invalidations = 0;
    std::atomic<bool> visible{true};
    int64_t counter = 0;
    test::FakeClock clock{test::FakeClock::At(2026, 12, 6, 12, 0, 0)};
    std::unique_ptr<CEventJournal> events;
    SessionSnapshot snap;
    CZKRBTree reg;
};

}  // namespace

TEST_F(Events, SuccessfulAuthenticationJournals17LinesAndAppliesServerSettings) {
    snap.serverParams = {{L"FILE_TYPES", L"*.*"}, {L"UPLOAD_CHUNK_SIZE", L"20"}, {L"UNKNOWN", L"x"}};
    events->OnAuthEvent(snap, &reg, kAuthSucceeded);
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[0], L"INFO\tВерсия\tb3.40 v2.00\n");
    EXPECT_EQ(lines[1], L"OK\tАутентификация\n");
    // Fifteen "INFO" lines of a name padded to one width and a value; the password never in clear.
    for (size_t i = 2; i < 17; ++i) {
        EXPECT_EQ(lines[i].rfind(L"INFO\t", 0), 0u) << i;
        EXPECT_EQ(lines[i].find(L'\t', 5), 19u) << i;
        EXPECT_EQ(lines[i].find(L"malvoro"), std::wstring::npos) << i;
    }
    EXPECT_EQ(lines[4], L"INFO\tAuth password \t*****\n");
    EXPECT_EQ(lines[5], L"INFO\tHTTP URL      \thttp://h:80/up\n");
    EXPECT_EQ(lines[9], L"INFO\tUID           \t17\n");
    EXPECT_EQ(lines[11], L"INFO\tAudit folder  \tC:\\audit.UPLOAD\\\n");
    EXPECT_EQ(lines[12], L"INFO\tLogs folder   \t" + dir.Path() + L"\n");
    EXPECT_EQ(lines[13], L"INFO\tMAC Adressr   \t001122AABBCC\n");
    EXPECT_EQ(lines[16], L"INFO\tClass name    \tTOLMARIN_SS_UPLOADER\n");
    EXPECT_EQ(identityRefreshes, 1);
    EXPECT_EQ(rows.authStatus.Value(), L"выполнена");
    EXPECT_TRUE(settings.Flags().acceptAll);
    EXPECT_EQ(settings.ChunkMegabytes(), 20u);
    EXPECT_EQ(store.values[L"Exst"], L"*.*") << "pushed settings reach the registry";
    EXPECT_EQ(store.values[L"ChunkSize"], L"20");
    EXPECT_EQ(rows.uid.Value(), L"17");
    EXPECT_EQ(rows.uploadUrl.Value(), L"h") << "the host, not the whole URL";
}

TEST_F(Events, FailedAuthenticationMarksRowsAndTheNextSuccessClearsThem) {
    snap.lastErrorCode = 403;
    snap.lastErrorText = L"Неверный пароль";
    events->OnAuthEvent(snap, &reg, kAuthFailed);
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[0], L"INFO\tВерсия\tv3.40 b2.00\n");
    EXPECT_EQ(lines[1], L"ERROR\tАутентификация\tНеверный пароль\n");
    EXPECT_EQ(lines[4], L"INFO\tAuth password \t*****\n");
    EXPECT_EQ(events->ErrorsCount(), 1);
    EXPECT_EQ(rows.authStatus.Value(), L"ошибка");
    EXPECT_TRUE(rows.authStatus.alert);
    EXPECT_TRUE(rows.errorsCount.alert);
    EXPECT_TRUE(rows.userName.alert);
    EXPECT_TRUE(rows.userPasswd.alert);
    EXPECT_EQ(rows.lastError.Value(), L"Неверный пароль");
    EXPECT_EQ(rows.errorsCount.Value(), L"1");
    snap.lastErrorCode = 0;
    events->OnAuthEvent(snap, &reg, kAuthSucceeded);
    EXPECT_FALSE(rows.authStatus.alert);
    EXPECT_FALSE(rows.userName.alert);
    EXPECT_FALSE(rows.userPasswd.alert);
    // Another failure than 403 leaves the user rows alone.
    snap.lastErrorCode = 500;
    events->OnAuthEvent(snap, &reg, kAuthFailed);
    EXPECT_FALSE(rows.userName.alert);
    EXPECT_EQ(events->ErrorsCount(), 2);
}

TEST_F(Events, TransferLinesInTheirTexts) {
    snap.currentFile = L"C:\\o\\a.jpg";
    snap.currentTaskName = L"C:\\o\\";
    snap.serverAnswer = L"OK";
    lines.clear();
    for (int code : {6, 1, 2, 3, 5, 4, 7, 8, 9}) events->OnTransferEvent(snap, &reg, code);
    snap.lastErrorText = L"Файл не найден: C:\\o\\a.jpg";
    snap.serverAnswer = L"ERROR: disk full";
    events->OnTransferEvent(snap, &reg, kTransferFailed);
    events->OnTransferEvent(snap, &reg, 11);  // unknown codes do nothing
    const std::wstring order = std::wstring(L"C:") + kPathSep + L"o" + kPathSep;
    snap.setAside = {order, order + L"a.jpg", L"413 Request Entity Too Large", 120};
    events->OnTransferEvent(snap, &reg, kTransferTaskAside);
    EXPECT_EQ(lines.back(), L"ERROR\tЗадание отложено\t" + order + L"\t" + order + L"a.jpg\t413 Request Entity Too Large\tследующая попытка в 12:02:00\n");
    EXPECT_EQ(rows.lastError.Value(), L"Заказ «o» отложен: 413 Request Entity Too Large (файл a.jpg), следующая попытка в 12:02:00");
    lines.pop_back();
    EXPECT_EQ(lines, (std::vector<std::wstring>{
                         L"INFO\tЗадание \tC:\\o\\\n", L"INFO\tЗагрузка\tC:\\o\\a.jpg\n", L"OK\tСервер ответил\tOK\n",
                         L"INFO\tУдаляем файл\tC:\\o\\a.jpg\n", L"INFO\tПереаутентификация\n", L"OK\tЗадание \tC:\\o\\\n",
                         L"ERROR\tЗадание \tC:\\o\\Прервано пользователем\n", L"INFO\tУдаляем задание\tC:\\o\\\n",
                         L"INFO\tЗагрузка\tC:\\o\\a.jpg\n", L"ERROR\tЗагрузка\tФайл не найден: C:\\o\\a.jpg\n",
                         L"ERROR\tСервер ответил\tERROR: disk full\n"}));
    EXPECT_EQ(events->ErrorsCount(), 1);
}

TEST_F(Events, BandwidthAndForecast) {
    EXPECT_EQ(events->Bandwidth(), 0);
    events->RefreshStatistics(snap, &reg);
    EXPECT_EQ(rows.deadlineForecast.Value(), L"---") << "no accepted file yet";
    snap.bytesSent = 1000;
    counter = 0;
    events->OnTransferEvent(snap, &reg, kTransferBegin);
    snap.bytesSent = 1000 + 2097152;
    counter = 4000;  // 4 s at 1000 ticks a second
    reg.Insert(L"t")->AddFile(L"", L"f", L"");
    reg.queuedBytes = 10 * 1024 * 1024;
    events->OnTransferEvent(snap, &reg, kTransferAccepted);
    EXPECT_EQ(events->Bandwidth(), 512);
    EXPECT_EQ(rows.bandwidth.Value(), L"4096");
    EXPECT_EQ(rows.deadlineForecast.Value(), L"12:00:20") << "10 MiB at 512 KB/s";
    clock.Set(test::FakeClock::At(2026, 12, 6, 23, 59, 50));
    events->RefreshStatistics(snap, &reg);
    EXPECT_EQ(rows.deadlineForecast.Value(), L"00:00:10");
    EXPECT_EQ(rows.queueSize.Value(), L"10240");
    // A zero duration keeps the last bandwidth.
    events->OnTransferEvent(snap, &reg, kTransferBegin);
    events->OnTransferEvent(snap, &reg, kTransferAccepted);
    EXPECT_EQ(events->Bandwidth(), 512);
    // The queue drained: everything listed was sent.
    events->OnTransferEvent(snap, &reg, kTransferTaskDone);
    EXPECT_EQ(rows.deadlineForecast.Value(), L"---");
    EXPECT_EQ(rows.bandwidth.Value(), L"0");
}

TEST_F(Events, RowsStayWhileTheWindowIsHidden) {
    visible = false;
    snap.tasksSent = 3;
    snap.currentFile = L"x.jpg";
    events->OnTransferEvent(snap, &reg, kTransferAccepted);
    EXPECT_EQ(rows.tasksSent.Value(), L"");
    EXPECT_EQ(rows.currentFile.Value(), L"");
    EXPECT_EQ(invalidations, 0);
    visible = true;
    events->OnTransferEvent(snap, &reg, kTransferReauth);
    EXPECT_EQ(rows.tasksSent.Value(), L"") << "event 4 does not refresh";
    events->OnTransferEvent(snap, &reg, kTransferStep);
    EXPECT_EQ(rows.tasksSent.Value(), L"3");
    EXPECT_EQ(rows.currentFile.Value(), L"x.jpg");
    EXPECT_EQ(invalidations, 1);
}

// What the people at the shop ask support most: where is my order, and why is it not there yet.
TEST_F(Events, TheQueuePageTellsEachOrdersStateInArrivalOrder) {
    std::wstring body;
    for (size_t i = 1; i <= CStatRows::kQueueRows; ++i) body += (i > 1 ? L"|QUEUE_" : L"QUEUE_") + std::to_wstring(i);
    ASSERT_TRUE(rows.AddPage(L"{Очередь}{480|380}{" + body + L"}"));
    const std::wstring audit = dir / L"audit.UPLOAD" + kPathSep;
    const auto order = [&](const wchar_t* name, int32_t state) {
        CZKRBTreeNode* t = reg.Insert(audit + name + kPathSep);
        t->state = state;
        return t;
    };
    CZKRBTreeNode* sending = order(L"Anna", kTaskReady);
    for (int i = 0; i < 30; ++i) sending->AddFile(L"", L"f" + std::to_wstring(i), L"")->state = i < 12 ? kFileSent : kFileReady;
    order(L"Boris", kTaskSplit);
    CZKRBTreeNode* aside = order(L"Vera", kTaskFailed);
    aside->retryAt = std::chrono::steady_clock::now() + std::chrono::minutes(17);
    aside->asideFile = L"big.jpg";
    aside->asideStatus = 413;
    aside->asideReason = L"413 Request Entity Too Large";
    order(L"Gleb", kTaskWaiting);
    order(L"Dina", kTaskReady);
    for (int i = 0; i < 10; ++i) order((L"more" + std::to_wstring(i)).c_str(), kTaskReady);
    snap.currentTaskName = sending->Name();

    events->RefreshStatistics(snap, &reg);
    rows.ShowPage(rows.PageCount());
    EXPECT_EQ(rows.PageText(), L"") << "not filled while another page was shown";
    EXPECT_EQ(rows.FindByKey(L"QUEUE_1"), nullptr) << "its rows are no setting the server could push";
    events->RefreshStatistics(snap, &reg);
    const std::wstring text = rows.PageText();
    EXPECT_EQ(text.substr(0, text.find(L"more0")),
              L"Anna\tотправляется: 12 из 30 файлов\r\n"
              L"Boris\tнарезается на части\r\n"
              L"Vera\tждёт: сервер отклоняет файл big.jpg (413), следующая попытка в 12:17\r\n"
              L"Gleb\tждёт, пока папка перестанет меняться\r\n"
              L"Dina\tждёт своей очереди\r\n");
    EXPECT_NE(text.find(L"more6\tждёт своей очереди\r\nи ещё 3 заказа\t\r\n"), std::wstring::npos) << test::Narrow(text);

    // Paused: what would go now waits; what is split or set aside says so still.
    snap.paused = true;
    events->RefreshStatistics(snap, &reg);
    EXPECT_EQ(rows.PageText().substr(0, rows.PageText().find(L"Gleb")),
              L"Anna\tприостановлено\r\nBoris\tнарезается на части\r\n"
              L"Vera\tждёт: сервер отклоняет файл big.jpg (413), следующая попытка в 12:17\r\n");
}

TEST(EventsLive, SeventeenLinesFromARealAuthentication) {
    refsrv::RefService service;
    ASSERT_TRUE(service.Start());
    CStatRows rows;
    std::vector<std::wstring> lines;
    EventHooks hooks;
    hooks.journal = [&](const std::wstring& t) { lines.push_back(t); };
    CEventJournal events(rows, hooks);
    CVelmoConnect session;
    test::Configure(session, service);
    session.SetAuthCallback(&events, [](void* u, CVelmoConnect* s, int code) { static_cast<CEventJournal*>(u)->OnAuthEvent(*s, code); });
    ASSERT_TRUE(session.Authenticate());
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[0], L"INFO\tВерсия\tb3.40 v2.00\n");
    EXPECT_EQ(lines[9], L"INFO\tUID           \t17\n");
    EXPECT_EQ(lines[5], L"INFO\tHTTP URL      \thttp://127.0.0.1:" + std::to_wstring(service.Port()) + L"/upload\n");
}

// The steps of an upload refresh the rows at most every 100 ms of the coarse clock, across its
// wrap after 49 days too; without that clock, every tenth of the counter's second.
TEST(EventsSteps, StepsRefreshTheRowsEveryTenthOfASecond) {
    CStatRows rows;
    rows.EnterDisplayList();
    uint32_t ticks = 0xFFFFFFC0u;  // 64 ms before the wrap
    int64_t counter = 0;
    int invalidations = 0;
    EventHooks hooks;
    hooks.windowVisible = [] { return true; };
    hooks.invalidateTable = [&] { ++invalidations; };
    hooks.counter = [&] { return counter; };
    hooks.counterFrequency = 1000;
    hooks.stepTicks = [&] { return ticks; };
    CEventJournal coarse(rows, hooks);
    CVelmoConnect session;
    const auto step = [&](CEventJournal& events) { events.OnTransferEvent(session, kTransferStep); };
    step(coarse);
    EXPECT_EQ(invalidations, 1);
    ticks += 99;
    step(coarse);
    EXPECT_EQ(invalidations, 1) << "99 ms after the last refresh";
    ticks += 1;  // 100 ms on, past the wrap
    step(coarse);
    EXPECT_EQ(invalidations, 2);
    ticks += 50;
    counter += 1000;  // the counter is not what the steps read
    step(coarse);
    EXPECT_EQ(invalidations, 2);

    hooks.stepTicks = nullptr;
    CEventJournal fine(rows, hooks);
    invalidations = 0;
    counter = 5000;
    step(fine);
    counter += 99;
    step(fine);
    EXPECT_EQ(invalidations, 1);
    counter += 1;
    step(fine);
    EXPECT_EQ(invalidations, 2);
}
