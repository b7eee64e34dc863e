// The agent .exe doing its whole job under Wine against the reference service.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "e2e/agent_harness_win.h"
#include "intake/chunk_name.h"
#include "intake/shortcut.h"
#include "refserver/ref_service.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {

class Pipeline : public e2e::AgentTest {
protected:
    std::wstring Order(const std::wstring& name, std::vector<std::pair<std::wstring, size_t>> files, uint32_t seed) {
        const std::wstring folder = JoinPath(audit, name);
        EXPECT_TRUE(CreateFolder(folder));
        for (auto& [f, size] : files) {
            expected[JoinPath(folder, f)] = test::PatternBytes(size, seed++);
            test::WriteFile(JoinPath(folder, f), expected[JoinPath(folder, f)]);
        }
        return folder;
    }
    // A slow network for the next upload's body.
    void SlowNetwork(long bytesPerSecond) {
        refsrv::FaultRule slow;
        slow.target = refsrv::FaultTarget::Upload;
        slow.kind = refsrv::FaultKind::Throttle;
        slow.bytesPerSecond = bytesPerSecond;
        slow.remaining = 1;
        service.AddFault(slow);
    }
    bool AuditEmpty() {
        std::vector<DirEntry> e;
        return ListFolder(audit, L"*.*", e) == ListResult::NoMatch;
    }
    // What the service accepted, whole files and chunks joined, by the path they came from.
    std::map<std::wstring, std::string> Received(std::map<std::wstring, std::wstring> links = {}) {
        std::map<std::wstring, std::string> got;
        for (auto& r : service.Received()) {
            const std::wstring name = FileNamePart(r.fn);
            if (name.size() >= 9 && name.compare(0, 9, L"_content_") == 0) continue;
            const ChunkNameInfo c = ParseChunkName(r.fn);
            std::wstring source = c.isChunk ? c.sourcePath : r.fn;
            if (links.count(source)) source = links[source];
            got[source] += r.data;
        }
        return got;
    }
    bool JournalHas(const std::wstring& line) {
        for (auto& l : e2e::JournalLines(logs))
            if (l == ToUtf8(line)) return true;
        return false;
    }

    // The journal's upload errors, one per line, for a failure's message.
    std::string UploadErrors() {
        std::string out;
        for (auto& l : e2e::JournalLines(logs))
            if (l.rfind(ToUtf8(L"ERROR\tЗагрузка"), 0) == 0) out += l + "\n";
        return out.empty() ? "no upload error in the journal" : out;
    }

    std::map<std::wstring, std::string> expected;
};

}  // namespace

TEST_F(Pipeline, OrdersArriveByteIdenticalAndTheirFoldersGo) {
    settings.Set(L"ChunkSize", L"1");
    const std::wstring o1 = Order(L"Заказ 1001 Иванов", {{L"фото 1.jpg", 150000}, {L"фото 2.jpg", 90000}, {L"order.kzo", 300}}, 1);
    const std::wstring o2 = Order(L"Заказ 1002", {{L"большой снимок.jpg", 2600000}}, 10);
    const std::wstring empty = Order(L"Пустой заказ", {}, 0);
    test::TempDir elsewhere(L"elsewhere");
    const std::wstring target = elsewhere / L"портрет.jpg";
    test::WriteFile(target, test::PatternBytes(70000, 99));
    ASSERT_EQ(CreateShortcut(target, JoinPath(o2, L"портрет.jpg.lnk")), kHrOk);
    std::map<std::wstring, std::wstring> links{{JoinPath(o2, L"портрет.jpg.lnk"), target}};
    expected[target] = test::ReadFile(target);

    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(agent.Launch());
    ASSERT_TRUE(test::WaitUntil([&] { return AuditEmpty(); }, 120s));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const auto got = Received(links);
    EXPECT_EQ(got.size(), expected.size());
    for (auto& [path, bytes] : expected) EXPECT_TRUE(got.count(path) && got.at(path) == bytes) << test::Narrow(path);
    EXPECT_EQ(test::ReadFile(target), expected[target]) << "a shortcut's target stays";

    // An order dropped into the audit folder while the agent runs goes too.
    const std::wstring late = Order(L"Заказ 1003", {{L"поздний.jpg", 5000}}, 50);
    ASSERT_TRUE(test::WaitUntil([&] { return !PathExists(late); }, 60s));
    // The task's last line follows the removal of its folder.
    ASSERT_TRUE(test::WaitUntil([&] { return JournalHas(L"INFO\tУдаляем задание\t" + WithTrailingSeparator(late)); }));
    EXPECT_EQ(Received()[JoinPath(late, L"поздний.jpg")], expected[JoinPath(late, L"поздний.jpg")]);

    for (const std::wstring& o : {o1, o2, empty, late}) {
        EXPECT_TRUE(JournalHas(L"INFO\tЗадание \t" + WithTrailingSeparator(o))) << test::Narrow(o);
        EXPECT_TRUE(JournalHas(L"OK\tЗадание \t" + WithTrailingSeparator(o)));
        EXPECT_TRUE(JournalHas(L"INFO\tУдаляем задание\t" + WithTrailingSeparator(o)));
    }
    EXPECT_TRUE(JournalHas(L"INFO\tЗагрузка\t" + JoinPath(o1, L"фото 1.jpg")));
    EXPECT_TRUE(JournalHas(L"INFO\tУдаляем файл\t" + JoinPath(o1, L"фото 1.jpg")));
    const auto lines = e2e::JournalLines(logs);
    ASSERT_GE(lines.size(), 18u);
    EXPECT_EQ(lines[0], ToUtf8(L"INFO\tПрограмма запущена"));
    EXPECT_EQ(lines[1], ToUtf8(L"INFO\tВерсия\tb3.40 v2.00"));
    EXPECT_EQ(lines[2], ToUtf8(L"OK\tАутентификация"));
    ASSERT_TRUE(agent.ExitThroughMenu());
    EXPECT_EQ(agent.WaitExit(30s), 0);
    EXPECT_EQ(e2e::JournalLines(logs).back(), ToUtf8(L"INFO\tПрограмма завершена"));
    std::printf("e2e: %zu files received, first three orders in %.1f s\n", service.Received().size(), seconds);
}

TEST_F(Pipeline, ServerSettingsReachTheRegistry) {
    service.SetParams({{L"FILE_TYPES", L"*.jpg,*.log"}, {L" upload_chunk_size ", L" 3 "}});
    ASSERT_TRUE(agent.Launch());
    ASSERT_TRUE(test::WaitUntil([&] { return settings.Get(L"ChunkSize") == L"3"; }, 60s));
    EXPECT_EQ(settings.Get(L"Exst"), L"*.jpg,*.log");
    ASSERT_TRUE(agent.ExitThroughMenu());
    EXPECT_EQ(agent.WaitExit(30s), 0);
}

TEST_F(Pipeline, RefusedCredentialsAreRetriedEveryFiveSeconds) {
    service.SetCredentials(L"loader", L"another password");
    const std::wstring o = Order(L"ждёт", {{L"a.jpg", 1000}}, 7);
    ASSERT_TRUE(agent.Launch());
    ASSERT_TRUE(test::WaitUntil([&] { return service.AuthCount() >= 1; }, 30s));
    const auto first = std::chrono::steady_clock::now();
    ASSERT_TRUE(test::WaitUntil([&] { return service.AuthCount() >= 3; }, 30s));
    const double spacing = std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count() / 2;
    EXPECT_GT(spacing, 4.5);
    EXPECT_LT(spacing, 8.0);
    EXPECT_TRUE(PathExists(o));
    EXPECT_TRUE(JournalHas(L"ERROR\tАутентификация\tНеверное имя пользователя или пароль"));
    service.SetCredentials(L"loader", L"malvoro");
    ASSERT_TRUE(test::WaitUntil([&] { return !PathExists(o); }, 30s));
    EXPECT_EQ(Received()[JoinPath(o, L"a.jpg")], expected[JoinPath(o, L"a.jpg")]);
    std::printf("e2e: refused authentications every %.1f s\n", spacing);
}

TEST_F(Pipeline, ServiceRestartedMidUploadLosesNothing) {
    const uint16_t port = service.Port();
    const std::wstring o = Order(L"большой", {{L"big.jpg", 40 * 1024 * 1024}}, 3);
    SlowNetwork(4 * 1024 * 1024);  // the body takes about ten seconds
    ASSERT_TRUE(agent.Launch());
    // The upload's head has arrived, so the agent is in its body (throttled to ten seconds) when
    // the service goes; an open connection alone may still be the check's.
    ASSERT_TRUE(test::WaitUntil([&] { return service.UploadsBegun() >= 1; }, 60s));
    ASSERT_TRUE(service.Received().empty());
    service.Stop();
    ASSERT_TRUE(service.Start(port));
    ASSERT_TRUE(test::WaitUntil([&] { return !PathExists(o); }, 120s));
    const auto received = service.Received();
    ASSERT_EQ(received.size(), 2u) << "the file once, and the content list";
    EXPECT_TRUE(Received()[JoinPath(o, L"big.jpg")] == expected[JoinPath(o, L"big.jpg")]);
    // The client's own text stays in the line for support, after the words for people.
    const std::string errors = UploadErrors();
    EXPECT_TRUE(errors.find("::InternetWriteFile failed.") != std::string::npos || errors.find("::HttpEndRequest failed.") != std::string::npos)
        << errors;
}

TEST_F(Pipeline, ExitWhileUploadingOrWaitingForTheServerIsPrompt) {
    Order(L"большой", {{L"big.jpg", 60 * 1024 * 1024}}, 4);
    SlowNetwork(4 * 1024 * 1024);  // the body would take about fifteen seconds
    ASSERT_TRUE(agent.Launch());
    ASSERT_TRUE(test::WaitUntil([&] { return service.UploadsBegun() >= 1; }, 60s));
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(agent.ExitThroughMenu());
    EXPECT_EQ(agent.WaitExit(30s), 0);
    const double uploading = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(uploading, 10.0);
    EXPECT_EQ(e2e::JournalLines(logs).back(), ToUtf8(L"INFO\tПрограмма завершена"));

    // The authentication server takes a minute to answer.
    refsrv::FaultRule slow;
    slow.target = refsrv::FaultTarget::Auth;
    slow.kind = refsrv::FaultKind::Delay;
    slow.delayMs = 60000;
    service.AddFault(slow);
    const int auths = service.AuthCount();
    ASSERT_TRUE(agent.Launch());
    ASSERT_TRUE(test::WaitUntil([&] { return service.Server().OpenConnections() >= 1 && service.AuthCount() > auths; }, 60s));
    t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(agent.ExitThroughMenu());
    EXPECT_EQ(agent.WaitExit(30s), 0);
    const double waiting = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(waiting, 10.0);
    std::printf("e2e: exit during an upload %.1f s, while the server withholds its answer %.1f s\n", uploading, waiting);
}
