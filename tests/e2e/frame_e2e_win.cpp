// The agent .exe under Wine and Xvfb: single instance, registry, journal, tray menu, exit.
#include <gtest/gtest.h>

#include <thread>

#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "e2e/agent_harness_win.h"
#include "refserver/ref_service.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {

class Frame : public e2e::AgentTest {
protected:
    std::string L8(const std::wstring& w) { return ToUtf8(w); }
};

}  // namespace

TEST_F(Frame, RunsOnceFillsTheRegistryAndEndsThroughItsMenu) {
    ASSERT_TRUE(agent.Launch());
    ASSERT_NE(agent.WaitMainWindow(), nullptr);
    ASSERT_TRUE(test::WaitUntil([&] {
        auto lines = e2e::JournalLines(logs);
        return !lines.empty();
    }));
    EXPECT_EQ(e2e::JournalLines(logs).front(), L8(L"INFO\tПрограмма запущена"));
    // Every setting is in the registry: ours as given, the rest from the defaults.
    EXPECT_EQ(settings.Get(L"UserName"), L"loader");
    EXPECT_EQ(settings.Get(L"Exst"), L"*.kzo,*.wrx,*.jpg,*.lst");
    EXPECT_EQ(settings.Get(L"ChunkSize"), L"0");
    EXPECT_EQ(settings.Get(L"AuthInterval"), L"60");
    EXPECT_TRUE(settings.Has(L"Password"));
    EXPECT_EQ(settings.Get(L"AuditFolder"), audit);
    // Shown on page 1 at start.
    HWND balloon = nullptr;
    ASSERT_TRUE(test::WaitUntil([&] { return (balloon = e2e::BalloonOf(GetProcessId(agent.Handle()))) && IsWindowVisible(balloon); }));

    // A second copy wakes the first and ends with 0.
    ShowWindow(balloon, SW_HIDE);
    e2e::AgentProcess second;
    ASSERT_TRUE(second.Launch());
    EXPECT_EQ(second.WaitExit(30s), 0);
    EXPECT_TRUE(agent.Running());
    EXPECT_TRUE(test::WaitUntil([&] { return IsWindowVisible(balloon) != FALSE; })) << "woken on page 1";

    // Authentication happened; then the exit item of the tray menu ends the program.
    ASSERT_TRUE(test::WaitUntil([&] { return service.AuthCount() >= 1; }));
    ASSERT_TRUE(agent.ExitThroughMenu());
    EXPECT_EQ(agent.WaitExit(30s), 0);
    const auto lines = e2e::JournalLines(logs);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), L8(L"INFO\tПрограмма завершена"));
    EXPECT_EQ(FindWindowW(e2e::kAgentClass, L"ZELTAVIO EXPRESS UPLOADER"), nullptr);
}

TEST_F(Frame, PastJournalsRotateIntoAHandOverOrder) {
    settings.Set(L"Exst", L"*.jpg,*.lst,*.log");
    const std::wstring todo = JoinPath(logs, L"_LOGS.UPLOADER.TODO");
    EXPECT_TRUE(CreateFolder(todo));
    test::WriteFile(JoinPath(todo, L"TOLMARIN_SS_UPLOADER_001122AABBCC_20261205.log"), "\xEF\xBB\xBFold journal\r\n");
    ASSERT_TRUE(agent.Launch());
    // The old journal goes to the done folder and, as an order of its own, to the service.
    ASSERT_TRUE(test::WaitUntil([&] {
        for (auto& r : service.Received())
            if (FileNamePart(r.fn) == L"TOLMARIN_SS_UPLOADER_001122AABBCC_20261205.log") return true;
        return false;
    }, 60s));
    EXPECT_TRUE(PathExists(JoinPath(JoinPath(logs, L"_LOGS.UPLOADER.DONE"), L"TOLMARIN_SS_UPLOADER_001122AABBCC_20261205.log")));
    EXPECT_FALSE(PathExists(JoinPath(todo, L"TOLMARIN_SS_UPLOADER_001122AABBCC_20261205.log")));
    bool viaHandOver = false;
    for (auto& r : service.Received()) viaHandOver |= r.fn.find(L"\\_LOGS.UPLOADER_") != std::wstring::npos;
    EXPECT_TRUE(viaHandOver);
    ASSERT_TRUE(agent.ExitThroughMenu());
    EXPECT_EQ(agent.WaitExit(30s), 0);
}
