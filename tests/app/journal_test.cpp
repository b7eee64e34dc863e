#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwchar>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "app/journal.h"
#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "support/fake_clock.h"
#include "support/test_util.h"

using namespace zk;

namespace {

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings = {L"TOLMARIN_SS_UPLOADER", L"001122AABBCC", dir.Path(), dir / L"audit.UPLOAD", false};
        EXPECT_TRUE(CreateFolder(settings.auditFolder));
    }
    std::wstring Todo() { return dir / L"_LOGS.UPLOADER.TODO"; }
    std::wstring Done() { return dir / L"_LOGS.UPLOADER.DONE"; }
    std::vector<std::wstring> Names(const std::wstring& folder) {
        std::vector<DirEntry> e;
        ListFolder(folder, L"*.*", e);
        std::vector<std::wstring> v;
        for (auto& x : e) v.push_back(x.name);
        std::sort(v.begin(), v.end());
        return v;
    }

    test::TempDir dir{L"journal"};
    test::FakeClock clock{test::FakeClock::At(2026, 12, 6, 7, 5, 9)};
    CJournal journal{clock};
    JournalSettings settings;
};

}  // namespace

TEST_F(JournalTest, NameStampBomAndLines) {
    EXPECT_EQ(CJournal::FileName(L"TOLMARIN_SS_UPLOADER", L"001122AABBCC", {2026, 12, 6}), L"TOLMARIN_SS_UPLOADER_001122AABBCC_20261206.log");
    EXPECT_EQ(CJournal::FileName(L"A", L"", {2026, 1, 2}), L"A__20260102.log");
    const std::wstring path = journal.OpenDay(settings);
    EXPECT_EQ(path, JoinPath(Todo(), L"TOLMARIN_SS_UPLOADER_001122AABBCC_20261206.log"));
    EXPECT_TRUE(IsFolder(Done()));
    journal.Write(L"INFO\tПрограмма запущена\n");
    journal.Write(L"100% \u2116 %s %d\n");
    journal.Write(L"bare", false);
    EXPECT_EQ(test::ReadFile(path), "\xEF\xBB\xBF" "2026.12.06\t07:05:09\tINFO\t" + ToUtf8(L"Программа запущена") + "\r\n" +
                                        "2026.12.06\t07:05:09\t100% \xE2\x84\x96 %s %d\r\nbare");
    // Reopening the same day appends without a second mark.
    journal.Close();
    journal.Write(L"dropped while closed\n");
    journal.OpenDay(settings);
    journal.Write(L"again\n");
    const std::string bytes = test::ReadFile(path);
    EXPECT_EQ(bytes.find("\xEF\xBB\xBF", 3), std::string::npos);
    EXPECT_EQ(bytes.find("dropped"), std::string::npos);
    EXPECT_NE(bytes.find("bare2026.12.06\t07:05:09\tagain\r\n"), std::string::npos);
}

TEST_F(JournalTest, ConcurrentWritersNeverInterleave) {
    const std::wstring path = journal.OpenDay(settings);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i)
                journal.Write(L"INFO\twriter " + std::to_wstring(t) + L"\tline " + std::to_wstring(i) + L"\tпадding\n");
        });
    // The day's stream is replaced under the writers' feet.
    for (int r = 0; r < 20; ++r) journal.OpenDay(settings);
    for (auto& w : writers) w.join();
    journal.Close();
    std::string bytes = test::ReadFile(path).substr(3);
    const std::regex line("2026\\.12\\.06\t07:05:09\tINFO\twriter [0-3]\tline [0-9]+\t" + ToUtf8(L"падding") + "\r");
    size_t count = 0, pos = 0;
    while (pos < bytes.size()) {
        const size_t nl = bytes.find('\n', pos);
        ASSERT_NE(nl, std::string::npos);
        EXPECT_TRUE(std::regex_match(bytes.substr(pos, nl - pos), line)) << bytes.substr(pos, nl - pos);
        ++count;
        pos = nl + 1;
    }
    EXPECT_EQ(count, 1200u);
}

TEST_F(JournalTest, LastLineStaysLastWhileWorkersStillWrite) {
    const std::wstring path = journal.OpenDay(settings);
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t)
        writers.emplace_back([&] {
            while (!stop) {
                journal.Write(L"INFO\tworker\n");
                ++written;
                std::this_thread::sleep_for(std::chrono::microseconds(100));  // an unfair lock must not starve the main thread
            }
        });
    while (written < 100) std::this_thread::yield();
    journal.WriteLastAndClose(L"INFO\tlast\n");
    const int after = written;
    while (written < after + 100) std::this_thread::yield();  // the workers go on writing into nothing
    stop = true;
    for (auto& w : writers) w.join();
    const std::string bytes = test::ReadFile(path);
    const std::string last = "2026.12.06\t07:05:09\tINFO\tlast\r\n";
    ASSERT_GE(bytes.size(), last.size());
    EXPECT_EQ(bytes.substr(bytes.size() - last.size()), last);
    EXPECT_EQ(bytes.find(last), bytes.size() - last.size());
}

TEST_F(JournalTest, RotationMovesPastDaysAndNeverTheCurrentOne) {
    const std::wstring today = journal.OpenDay(settings);
    journal.Write(L"today\n");
    EXPECT_TRUE(journal.Rotate(settings));
    EXPECT_TRUE(PathExists(today)) << "the current journal stays, also when it is the only one";
    test::WriteFile(JoinPath(Todo(), L"TOLMARIN_SS_UPLOADER_001122AABBCC_20261205.log"), "yesterday");
    test::WriteFile(JoinPath(Todo(), L"OTHER_20261101.log"), "older");
    EXPECT_TRUE(journal.Rotate(settings));
    EXPECT_EQ(Names(Todo()), (std::vector<std::wstring>{FileNamePart(today)}));
    EXPECT_EQ(Names(Done()), (std::vector<std::wstring>{L"OTHER_20261101.log", L"TOLMARIN_SS_UPLOADER_001122AABBCC_20261205.log"}));
    EXPECT_TRUE(Names(settings.auditFolder).empty()) << "without the journal flag nothing goes to the audit folder";
    journal.Write(L"still open\n");
    EXPECT_NE(test::ReadFile(today).find("still open"), std::string::npos);
}

TEST_F(JournalTest, HandOverOrderWhenJournalsAreWanted) {
    settings.handOver = true;
    journal.OpenDay(settings);
    EXPECT_TRUE(journal.Rotate(settings));
    EXPECT_TRUE(Names(settings.auditFolder).empty()) << "no past journals, no hand-over folder";
    test::WriteFile(JoinPath(Todo(), L"X_20261205.log"), "yesterday");
    clock.SetTicks(0x10);
    EXPECT_TRUE(journal.Rotate(settings));
    const auto folders = Names(settings.auditFolder);
    ASSERT_EQ(folders.size(), 1u);
    wchar_t stamp[16];
    std::swprintf(stamp, 16, L"%X", static_cast<unsigned>(clock.Now() + 0x10));
    EXPECT_EQ(folders[0], std::wstring(L"_LOGS.UPLOADER_20261206_") + stamp);
    EXPECT_EQ(test::ReadFile(JoinPath(JoinPath(settings.auditFolder, folders[0]), L"X_20261205.log")), "yesterday");
    EXPECT_EQ(test::ReadFile(JoinPath(Done(), L"X_20261205.log")), "yesterday");
}

TEST_F(JournalTest, DayChangeOpensTheNextFile) {
    const std::wstring first = journal.OpenDay(settings);
    clock.Set(test::FakeClock::At(2026, 12, 7, 0, 0, 1));
    EXPECT_TRUE(journal.Rotate(settings));
    EXPECT_EQ(FileNamePart(journal.CurrentPath()), L"TOLMARIN_SS_UPLOADER_001122AABBCC_20261207.log");
    EXPECT_TRUE(PathExists(JoinPath(Done(), FileNamePart(first))));
}

TEST_F(JournalTest, AJournalThatCannotBeOpenedIsReportedAndTriedAgainLater) {
    // A file where the to-do folder should be: the folder cannot be made, today's file not opened.
    test::WriteFile(Todo(), "in the way");
    clock.SetTicks(1000);
    EXPECT_FALSE(journal.Rotate(settings));
    EXPECT_FALSE(journal.IsOpen());
    journal.Write(L"lost\n");

    ASSERT_TRUE(DeleteFileAt(Todo()));
    ASSERT_TRUE(CreateFolder(Todo()));
    clock.SetTicks(1000 + 9000);
    journal.Write(L"too soon\n");
    EXPECT_FALSE(journal.IsOpen()) << "the opening is not retried on every line";
    clock.SetTicks(1000 + 10000);
    journal.Write(L"back\n");
    ASSERT_TRUE(journal.IsOpen());
    const std::string text = test::ReadFile(journal.CurrentPath());
    EXPECT_EQ(text, "\xEF\xBB\xBF" "2026.12.06\t07:05:09\tback\r\n");

    // A journal closed on purpose stays closed.
    journal.WriteLastAndClose(L"last\n");
    clock.SetTicks(1000 + 60000);
    journal.Write(L"after\n");
    EXPECT_FALSE(journal.IsOpen());
    EXPECT_EQ(test::ReadFile(journal.CurrentPath()), text + "2026.12.06\t07:05:09\tlast\r\n");
}
