// The whole agent without windows: start-up, an order uploaded, shutdown, and its journal.
#include <gtest/gtest.h>

#include <atomic>

#include "app/agent.h"
#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "refserver/ref_service.h"
#include "support/fake_clock.h"
#include "support/test_util.h"

using namespace zk;

namespace {
struct HiddenWindow : IAgentWindow {
    bool IsVisible() const override { return visible; }
    void InvalidateTable() override { ++invalidations; }
    void ShowNotification(const Notification& n) override { notifications.push_back(n); }  // the test's thread
    std::atomic<bool> visible{true};
    std::atomic<int> invalidations{0};
    std::vector<Notification> notifications;
};

AgentResources Resources() {
    AgentResources res;
    res.agentClass = L"TOLMARIN_SS_UPLOADER";
    res.version = L"2.00";
    res.authUrl = L"http://auth.invalid/ru/99";
    res.userName = L"loader";
    res.password = L"malvoro";
    res.fileTypes = L"*.kzo,*.wrx,*.jpg,*.lst";
    res.chunkSize = L"0";
    res.authTimeout = L"60";
    return res;
}

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> v;
    size_t pos = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (pos < bytes.size()) {
        const size_t nl = bytes.find("\r\n", pos);
        if (nl == std::string::npos) break;
        const std::string line = bytes.substr(pos, nl - pos);
        v.push_back(line.size() > 20 ? line.substr(20) : line);  // without the date and time
        pos = nl + 2;
    }
    return v;
}
}  // namespace

TEST(Agent, StartsUploadsAndShutsDownInOrder) {
    refsrv::RefService service;
    service.SetParams({{L"FILE_TYPES", L"*.jpg,*.lst,*.log"}});
    ASSERT_TRUE(service.Start());
    test::TempDir dir(L"agent");
    const std::wstring audit = dir / L"orders.UPLOAD";
    const std::wstring logs = dir / L"logs";
    EXPECT_TRUE(CreateFolder(audit));
    EXPECT_TRUE(CreateFolder(logs));
    const std::wstring order = JoinPath(audit, L"\u0417\u0430\u043A\u0430\u0437 1");
    EXPECT_TRUE(CreateFolder(order));
    test::WriteFile(JoinPath(order, L"a.jpg"), "image bytes");

    SystemClock clock;
    MemorySettingsStore store;
    store.values = {{L"AuthSrv", service.AuthUrl()}, {L"AuditFolder", audit}, {L"LogsFolder", logs}, {L"AuthInterval", L"5"}};
    HiddenWindow window;
    const AgentResources res = Resources();
    std::wstring journalPath;
    {
        CAgent agent(clock, store, &window);
        ASSERT_TRUE(agent.StartUp(res, dir.Path()));
        EXPECT_EQ(agent.AuthInterval(), 5);
        journalPath = agent.Journal().CurrentPath();
        EXPECT_EQ(FolderPart(journalPath), WithTrailingSeparator(JoinPath(logs, L"_LOGS.UPLOADER.TODO")));
        // The tray's folder items: the open journal's folder (an edited logs folder counts from
        // the next journal on) and the watched audit folder.
        EXPECT_EQ(agent.FolderOf(FolderItem::kJournals), JoinPath(logs, L"_LOGS.UPLOADER.TODO"));
        EXPECT_EQ(agent.FolderOf(FolderItem::kOrders), audit);
        const std::wstring otherLogs = dir / L"other logs";
        EXPECT_TRUE(CreateFolder(otherLogs));
        EXPECT_TRUE(agent.Settings().Write(agent.Rows().logsPath, otherLogs));
        EXPECT_EQ(agent.FolderOf(FolderItem::kJournals), JoinPath(logs, L"_LOGS.UPLOADER.TODO"));
        ASSERT_TRUE(test::WaitUntil([&] { return !PathExists(order); }));
        ASSERT_EQ(service.Received().size(), 2u);
        EXPECT_EQ(service.Received()[0].data, "image bytes");
        // The pushed file types reached the registry and the content-list flag.
        EXPECT_EQ(store.values[L"Exst"], L"*.jpg,*.lst,*.log");
        EXPECT_TRUE(agent.Settings().Flags().journals);
        // The rows catch up with the removal of the task (event 9 follows the folder's removal).
        EXPECT_TRUE(test::WaitUntil([&] { return agent.Rows().tasksSent.Value() == L"1"; }));
        // The clock's request reaches the session: it authenticates again.
        const int auths = service.AuthCount();
        agent.RequestReauthentication();
        ASSERT_TRUE(test::WaitUntil([&] { return service.AuthCount() == auths + 1; }));
        agent.ShutDown();
        EXPECT_EQ(agent.Session(), nullptr);
        EXPECT_EQ(agent.Audit(), nullptr);
    }
    const auto lines = Lines(test::ReadFile(journalPath));
    ASSERT_GE(lines.size(), 20u);
    EXPECT_EQ(lines.front(), ToUtf8(L"INFO\tПрограмма запущена"));
    EXPECT_EQ(lines[1], "INFO\t" + ToUtf8(L"Версия") + "\tb3.40 v2.00");
    EXPECT_EQ(lines[2], "OK\t" + ToUtf8(L"Аутентификация"));
    EXPECT_EQ(lines[5], "INFO\tAuth password \t*****");
    EXPECT_EQ(lines.back(), ToUtf8(L"INFO\tПрограмма завершена"));
    const std::string all = test::ReadFile(journalPath);
    EXPECT_NE(all.find(ToUtf8(L"INFO\tУдаляем задание\t") + ToUtf8(WithTrailingSeparator(order))), std::string::npos);
    EXPECT_EQ(all.find("malvoro"), std::string::npos) << "the password never reaches the journal";
    EXPECT_NE(all.find(ToUtf8(L"INFO\tПереаутентификация\r\n")), std::string::npos);
}

TEST(Agent, QueueFiguresReturnToZeroOnceEverythingIsSent) {
    refsrv::RefService service;
    ASSERT_TRUE(service.Start());
    test::TempDir dir(L"agentq");
    const std::wstring audit = dir / L"orders.UPLOAD";
    EXPECT_TRUE(CreateFolder(audit));
    // As the demo: orders with small files, one with a file cut into chunks, one empty.
    const std::wstring a = JoinPath(audit, L"A"), b = JoinPath(audit, L"B"), c = JoinPath(audit, L"C");
    for (const std::wstring& f : {a, b, c}) EXPECT_TRUE(CreateFolder(f));
    for (int i = 0; i < 4; ++i) test::WriteFile(JoinPath(a, L"a" + std::to_wstring(i) + L".jpg"), test::PatternBytes(3000, i));
    test::WriteFile(JoinPath(b, L"big.jpg"), test::PatternBytes(2600000, 9));

    SystemClock clock;
    MemorySettingsStore store;
    store.values = {{L"AuthSrv", service.AuthUrl()}, {L"AuditFolder", audit}, {L"LogsFolder", dir.Path()}, {L"ChunkSize", L"1"}};
    HiddenWindow window;
    CAgent agent(clock, store, &window);
    ASSERT_TRUE(agent.StartUp(Resources(), dir.Path()));
    ASSERT_TRUE(test::WaitUntil([&] { return !PathExists(a) && !PathExists(b) && !PathExists(c); }, std::chrono::seconds(60)));
    CStatRows& rows = agent.Rows();
    EXPECT_TRUE(test::WaitUntil([&] { return rows.tasksSent.Value() == L"3"; }));
    // No event follows the last one: the figures it left must already be final.
    EXPECT_EQ(rows.tasksQueued.Value(), L"0");
    EXPECT_EQ(rows.filesQueued.Value(), L"0");
    EXPECT_EQ(rows.queueSize.Value(), L"0");
    EXPECT_EQ(rows.currentTask.Value(), L"");
    agent.ShutDown();
}

// A pause chosen before a restart holds after it: nothing is sent, the tray says until when, and
// at its time it ends by itself (the clock's call) and the order goes. Each change is journalled
// and kept in the store.
TEST(Agent, APauseHoldsAcrossARestartAndEndsAtItsTime) {
    refsrv::RefService service;
    ASSERT_TRUE(service.Start());
    test::TempDir dir(L"agentp");
    const std::wstring audit = dir / L"orders.UPLOAD", logs = dir / L"logs";
    EXPECT_TRUE(CreateFolder(audit));
    EXPECT_TRUE(CreateFolder(logs));
    const std::wstring order = JoinPath(audit, L"P");
    EXPECT_TRUE(CreateFolder(order));
    test::WriteFile(JoinPath(order, L"a.jpg"), "image bytes");

    test::FakeClock clock(test::FakeClock::At(2026, 12, 9, 15, 10, 0));
    const int64_t until = clock.Now() + 20 * 60;
    MemorySettingsStore store;
    store.values = {{L"AuthSrv", service.AuthUrl()}, {L"AuditFolder", audit}, {L"LogsFolder", logs},
                    {kPausedUntilName, std::to_wstring(until)}};
    HiddenWindow window;
    CAgent agent(clock, store, &window);
    ASSERT_TRUE(agent.StartUp(Resources(), dir.Path()));
    EXPECT_EQ(agent.PausedUntil(), until);
    const TrayState paused = agent.TrayStatus().Take();
    EXPECT_EQ(paused.look, TrayLook::kPaused);
    EXPECT_EQ(TrayTip(paused).substr(0, 59), L"ZELTAVIO EXPRESS UPLOADER\nОтправка приостановлена до 15:30\n");
    ASSERT_TRUE(test::WaitUntil([&] { return service.AuthCount() == 0 && agent.Session() && agent.Session()->Paused(); }));

    clock.Advance(10 * 60);
    agent.EndPauseWhenDue();
    EXPECT_TRUE(agent.PausedUntil()) << "not yet";
    clock.Advance(10 * 60);
    agent.EndPauseWhenDue();
    EXPECT_FALSE(agent.PausedUntil());
    EXPECT_EQ(store.values[kPausedUntilName], L"0");
    ASSERT_TRUE(test::WaitUntil([&] { return !PathExists(order); }));
    EXPECT_EQ(service.Received()[0].data, "image bytes");

    agent.PauseSending(kPausedUntilResumed);
    EXPECT_EQ(store.values[kPausedUntilName], L"-1");
    agent.ResumeSending();
    const std::wstring journal = agent.Journal().CurrentPath();
    agent.ShutDown();
    const std::string all = test::ReadFile(journal);
    for (const wchar_t* line : {L"INFO\tПауза\tОтправка приостановлена до 15:30\r\n", L"INFO\tПауза\tОтправка возобновлена\r\n",
                                L"INFO\tПауза\tОтправка приостановлена до возобновления\r\n"})
        EXPECT_NE(all.find(ToUtf8(line)), std::string::npos) << ToUtf8(line);
}

// An order sent is told as its people count it: a big file cut into chunks is one file, the
// content list the agent wrote is none. Switched off, nothing is told.
TEST(Agent, AnOrderSentIsToldAsItsPeopleCountItUnlessSwitchedOff) {
    refsrv::RefService service;
    ASSERT_TRUE(service.Start());
    test::TempDir dir(L"agentn");
    const std::wstring audit = dir / L"orders.UPLOAD";
    EXPECT_TRUE(CreateFolder(audit));
    SystemClock clock;
    MemorySettingsStore store;
    store.values = {{L"AuthSrv", service.AuthUrl()}, {L"AuditFolder", audit}, {L"LogsFolder", dir.Path()},
                    {L"ChunkSize", L"1"},        {L"NotifyDone", L"нет"}};
    HiddenWindow window;
    CAgent agent(clock, store, &window);
    ASSERT_TRUE(agent.StartUp(Resources(), dir.Path()));
    const auto send = [&](const wchar_t* name) {
        const std::wstring staged = JoinPath(dir.Path(), name), order = JoinPath(audit, name);
        EXPECT_TRUE(CreateFolder(staged));
        test::WriteFile(JoinPath(staged, L"big.jpg"), test::PatternBytes(2600000, 9));  // three chunks
        test::WriteFile(JoinPath(staged, L"small.jpg"), test::PatternBytes(3000, 1));
        EXPECT_TRUE(RenamePath(staged, order));
        return test::WaitUntil([&] { return !PathExists(order) && agent.Rows().tasksQueued.Value() == L"0"; }, std::chrono::seconds(60));
    };
    ASSERT_TRUE(send(L"Anna"));
    agent.NotifyWhenDue();
    EXPECT_TRUE(window.notifications.empty()) << "switched off";

    ASSERT_TRUE(agent.Settings().CommitEdit(agent.Rows().notifyDone, L"да"));
    ASSERT_TRUE(send(L"Иванова"));
    agent.NotifyWhenDue();
    ASSERT_EQ(window.notifications.size(), 1u);
    EXPECT_EQ(window.notifications[0].text, L"Заказ «Иванова» отправлен: 2 файла, 2 МБ");  // 2.5 MB, the chunks counted once
    EXPECT_GE(service.Received().size(), 5u) << "three chunks, the small file and the content list went";
    agent.ShutDown();
}
