// The folder audit on real folders with its real worker thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "intake/chunk_name.h"
#include "intake/folder_audit.h"
#include "support/registry_view.h"
#include "support/test_util.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {

class AuditTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = WithTrailingSeparator(dir.Path());
        audit.SetCallback(this, [](void* user, CVelmoFolderAudit*, int code) {
            auto* self = static_cast<AuditTest*>(user);
            if (code == CVelmoFolderAudit::kEventTaskCreated) ++self->created;
            if (code == CVelmoFolderAudit::kEventTaskListed) ++self->listed;
            if (code == CVelmoFolderAudit::kEventWatchRestarted) ++self->restarted;
        });
    }
    std::wstring Order(const std::wstring& name) {
        EXPECT_TRUE(CreateFolder(root + name));
        return root + name + kPathSep;
    }
    // A staged folder with one small file.
    std::wstring Staged(const std::wstring& name) {
        const std::wstring staged = Stage(name);
        EXPECT_TRUE(CreateFolder(staged));
        test::WriteFile(JoinPath(staged, L"a.jpg"), "x");
        return staged;
    }
    // Where an editor builds an order before its rename: a TMPUPLOAD_ folder beside the orders
    // (a rename in the audit folder is seen as one on every platform).
    std::wstring Stage(const std::wstring& name) { return root + L"TMPUPLOAD_" + name; }
    // Starts the audit and waits for its first scan: from then on its watch sees orders arrive.
    bool StartWatching() {
        return audit.Start(root) && test::WaitUntil([&] { return audit.Scans() > 0; });
    }
    // Renames a staged folder to its order name; gives its task path.
    std::wstring MoveIn(const std::wstring& staged, const std::wstring& name) {
        EXPECT_TRUE(RenamePath(staged, root + name));
        return root + name + kPathSep;
    }
    bool WaitState(const std::wstring& task, int state) {
        return test::WaitUntil([&] { return test::TaskStateOf(audit.Registry(), task) == state; });
    }

    test::TempDir dir{L"audit"};
    std::wstring root;
    CVelmoFolderAudit audit;
    std::atomic<int> created{0}, listed{0}, restarted{0};
};

}  // namespace

TEST_F(AuditTest, TrailingSeparatorFormsGiveTheSameTaskPaths) {
    const std::wstring order = Order(L"o1");
    test::WriteFile(order + L"a.jpg", "abc");
    ASSERT_TRUE(audit.Start(dir.Path()));
    EXPECT_FALSE(audit.Start(dir.Path())) << "refused while running";
    EXPECT_EQ(audit.Folder(), root);
    ASSERT_TRUE(WaitState(order, kTaskReady));

    CVelmoFolderAudit other;
    ASSERT_TRUE(other.Start(root));
    EXPECT_EQ(other.Folder(), root);
    ASSERT_TRUE(test::WaitUntil([&] { return test::TaskStateOf(other.Registry(), order) == kTaskReady; }));
}

TEST_F(AuditTest, OrdersAreListedOnceAndTmpFoldersWaitForTheirRename) {
    const std::wstring order = Order(L"order");
    test::WriteFile(order + L"a.jpg", "aaaa");
    test::WriteFile(order + L"b.kzo", "bb");
    EXPECT_TRUE(CreateFolder(order + L"sub"));
    test::WriteFile(order + L"sub" + std::wstring(1, kPathSep) + L"inner.jpg", "never listed");
    const std::wstring tmp = Order(L"TMPUPLOAD_1A2B");
    test::WriteFile(tmp + L"x.jpg", "x");
    ASSERT_TRUE(audit.Start(root));
    ASSERT_TRUE(WaitState(order, kTaskReady));
    const auto items = test::ItemsOf(audit.Registry(), order);
    ASSERT_EQ(items.size(), 2u);
    for (auto& i : items) {
        EXPECT_EQ(i.state, kFileReady);
        EXPECT_FALSE(i.sourceInLabel);
        EXPECT_EQ(FolderPart(i.value), order);
    }
    EXPECT_EQ(audit.Registry().queuedBytes.load(), 6);
    std::this_thread::sleep_for(2500ms);  // two more scans
    EXPECT_EQ(audit.Registry().taskCount.load(), 1) << "a second scan adds nothing; TMPUPLOAD_ is ignored";
    EXPECT_EQ(created.load(), 1);
    EXPECT_EQ(listed.load(), 1);
    ASSERT_TRUE(RenamePath(root + L"TMPUPLOAD_1A2B", root + L"1A2B"));
    ASSERT_TRUE(WaitState(root + L"1A2B" + kPathSep, kTaskReady));
    EXPECT_EQ(test::ItemsOf(audit.Registry(), root + L"1A2B" + kPathSep).size(), 1u);
}

TEST_F(AuditTest, EmptyOrderAndSizeLimits) {
    audit.sizeLimit = 1000;
    audit.contentListFlag = true;
    const std::wstring empty = Order(L"empty");
    const std::wstring exact = Order(L"exact");
    test::WriteFile(exact + L"f.jpg", std::string(1000, 'x'));
    const std::wstring over = Order(L"over");
    test::WriteFile(over + L"f.jpg", std::string(1001, 'x'));
    ASSERT_TRUE(audit.Start(root));
    ASSERT_TRUE(WaitState(empty, kTaskEmpty));
    EXPECT_TRUE(test::ItemsOf(audit.Registry(), empty).empty());
    std::vector<DirEntry> files;
    EXPECT_EQ(ListFolder(empty, L"*.*", files), ListResult::NoMatch) << "no content list for an empty order";
    ASSERT_TRUE(WaitState(exact, kTaskReady));
    EXPECT_EQ(test::ItemsOf(audit.Registry(), exact).front().state, kFileReady);
    ASSERT_TRUE(WaitState(over, kTaskSplit));
    EXPECT_EQ(test::ItemsOf(audit.Registry(), over).front().state, kFileTooBig);
}

TEST_F(AuditTest, ContentListIsTheLastItemSizedInCharacters) {
    audit.contentListFlag = true;
    const std::wstring order = Order(L"\u0417\u0430\u043A\u0430\u0437 7");
    test::WriteFile(order + L"1.jpg", "1");
    test::WriteFile(order + L"2.jpg", "22");
    test::WriteFile(order + L"\u0444\u043E\u0442\u043E.jpg", "333");
    ASSERT_TRUE(audit.Start(root));
    ASSERT_TRUE(WaitState(order, kTaskReady));
    const auto items = test::ItemsOf(audit.Registry(), order);
    ASSERT_EQ(items.size(), 4u);
    const auto& list = items.back();
    EXPECT_EQ(FileNamePart(list.value).rfind(L"_content_", 0), 0u);
    EXPECT_EQ(list.state, kFileReady);
    size_t chars = 0;
    std::string expected = "\xEF\xBB\xBF";
    for (size_t i = 0; i < 3; ++i) {
        chars += ToUtf16(items[i].value).size() + 1;
        expected += ToUtf8(items[i].value) + "\r\n";
    }
    EXPECT_EQ(list.size, chars);
    EXPECT_EQ(test::ReadFile(list.value), expected);
    EXPECT_EQ(audit.Registry().queuedBytes.load(), static_cast<int64_t>(6 + chars));
}

// An order moved in while a file in it is still being written is not whole after all: it is
// taken once the writer has closed it, with every file ready.
TEST_F(AuditTest, FileHeldOpenInAnOrderMovedInHoldsItBackUntilClosed) {
    const std::wstring staged = Stage(L"busy");
    ASSERT_TRUE(CreateFolder(staged));
    test::WriteFile(JoinPath(staged, L"done.jpg"), "ok");
    UniqueStream writer(OpenStream(JoinPath(staged, L"writing.jpg"), L"wb"));
    ASSERT_TRUE(writer);
    std::fputs("partial", writer.get());
    std::fflush(writer.get());
    ASSERT_TRUE(StartWatching());
    const std::wstring order = MoveIn(staged, L"busy");
    const std::wstring whole = MoveIn(Staged(L"whole"), L"whole");
    ASSERT_TRUE(WaitState(whole, kTaskReady)) << "an order moved in after it";
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(test::TaskStateOf(audit.Registry(), order), -1);
    std::fputs(" and the rest", writer.get());
    writer.reset();
    ASSERT_TRUE(WaitState(order, kTaskReady));
    EXPECT_EQ(audit.Registry().waitingTasks.load(), 0);
    const auto items = test::ItemsOf(audit.Registry(), order);
    ASSERT_EQ(items.size(), 2u);
    for (auto& i : items) {
        EXPECT_EQ(i.state, kFileReady);
        if (FileNamePart(i.value) == L"writing.jpg") {
            EXPECT_EQ(i.size, 20u);
        }
    }
}

TEST_F(AuditTest, FileThatGrewPastTheLimitWhileWrittenIsSplitNotSentWhole) {
    audit.sizeLimit = 1024 * 1024;
    const std::wstring staged = Stage(L"growing");
    ASSERT_TRUE(CreateFolder(staged));
    UniqueStream writer(OpenStream(JoinPath(staged, L"scan.tif"), L"wb"));
    ASSERT_TRUE(writer);
    std::fputs("header", writer.get());
    std::fflush(writer.get());
    ASSERT_TRUE(StartWatching());
    const std::wstring order = MoveIn(staged, L"growing");
    const std::string rest(3 * 1024 * 1024, 'p');
    std::fwrite(rest.data(), 1, rest.size(), writer.get());
    writer.reset();
    ASSERT_TRUE(WaitState(order, kTaskSplit));
    const auto items = test::ItemsOf(audit.Registry(), order);
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items[0].state, kFileTooBig);
    EXPECT_EQ(items[0].size, rest.size() + 6);
}

// A copier that makes the folder and copies one file at a time, as xcopy or a person does: the
// order becomes one task with every file, its one content list last, and only after the copy.
// A folder that a person made, renamed and then filled is the same case.
TEST_F(AuditTest, OrdersFilledInPlaceBecomeOneTaskOnceSettled) {
    audit.contentListFlag = true;
    ASSERT_TRUE(CreateFolder(Stage(L"New folder")));
    ASSERT_TRUE(StartWatching());
    std::vector<std::wstring> names;
    for (int i = 0; i < 5; ++i) names.push_back(L"\u0444\u043E\u0442\u043E" + std::to_wstring(i) + L".jpg");
    auto copier = [&](const std::wstring& order) {
        for (const std::wstring& name : names) {
            UniqueStream out(OpenStream(JoinPath(order, name), L"wb"));
            ASSERT_TRUE(out);
            const std::string bytes = test::PatternBytes(50'000, 7);
            for (size_t at = 0; at < bytes.size(); at += 10'000) {
                std::fwrite(bytes.data() + at, 1, 10'000, out.get());
                std::fflush(out.get());
                std::this_thread::sleep_for(30ms);
            }
            out.reset();
            std::this_thread::sleep_for(300ms);
        }
    };
    const std::wstring copied = root + L"copied" + kPathSep;
    std::thread first([&] {
        EXPECT_TRUE(CreateFolder(copied));
        copier(copied);
    });
    const std::wstring renamed = MoveIn(Stage(L"New folder"), L"renamed");
    copier(renamed);
    first.join();
    // The last file is not two seconds old: neither order may have been taken yet.
    EXPECT_EQ(test::TaskStateOf(audit.Registry(), copied), -1);
    EXPECT_EQ(test::TaskStateOf(audit.Registry(), renamed), -1);
    for (const std::wstring& order : {copied, renamed}) {
        ASSERT_TRUE(WaitState(order, kTaskReady)) << test::Narrow(order);
        const auto items = test::ItemsOf(audit.Registry(), order);
        ASSERT_EQ(items.size(), names.size() + 1);
        EXPECT_EQ(FileNamePart(items.back().value).rfind(L"_content_", 0), 0u) << "the content list goes last";
        std::set<std::string> want, lines;
        for (const std::wstring& name : names) want.insert(ToUtf8(order + name));
        const std::string list = test::ReadFile(items.back().value);
        for (size_t at = 3, end; (end = list.find("\r\n", at)) != std::string::npos; at = end + 2) lines.insert(list.substr(at, end - at));
        EXPECT_EQ(lines, want) << "the content list names every file";
    }
    EXPECT_EQ(created.load(), 2);
}

TEST_F(AuditTest, FolderFilledInPlaceIsNotTakenWhileAFileInItIsInUse) {
    const std::wstring order = Order(L"slow");
    UniqueStream writer(OpenStream(order + L"big.tif", L"wb"));
    ASSERT_TRUE(writer);
    std::fputs("the same size for a while", writer.get());
    std::fflush(writer.get());
    ASSERT_TRUE(audit.Start(root));
    std::this_thread::sleep_for(3500ms);  // three looks, nothing changed but the file is open
    EXPECT_EQ(test::TaskStateOf(audit.Registry(), order), -1);
    writer.reset();
    ASSERT_TRUE(WaitState(order, kTaskReady));
    EXPECT_EQ(test::ItemsOf(audit.Registry(), order).size(), 1u);
}

TEST_F(AuditTest, LeftoverChunksBesideTheirSourceAreDeleted) {
    audit.sizeLimit = 4;
    const std::wstring order = Order(L"chunks");
    test::WriteFile(order + L"big.jpg", "0123456789");
    const std::wstring leftover = order + ChunkFileName(L"big.jpg", 1, 3);
    test::WriteFile(leftover, "0123");
    const std::wstring alone = Order(L"alone");
    const std::wstring orphan = alone + ChunkFileName(L"gone.jpg", 2, 2);
    test::WriteFile(orphan, "a chunk larger than the limit");
    ASSERT_TRUE(audit.Start(root));
    ASSERT_TRUE(WaitState(order, kTaskSplit));
    EXPECT_FALSE(PathExists(leftover));
    const auto items = test::ItemsOf(audit.Registry(), order);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(FileNamePart(items[0].value), L"big.jpg");
    ASSERT_TRUE(WaitState(alone, kTaskReady)) << "a chunk is never split again";
    EXPECT_TRUE(PathExists(orphan));
    EXPECT_EQ(test::ItemsOf(audit.Registry(), alone).front().state, kFileReady);
}

// A leftover chunk that will not be deleted keeps its order back: otherwise it would reach the
// server as part of an old set once its source had been cut anew and deleted.
TEST_F(AuditTest, AnOrderWaitsUntilItsLeftoverChunksAreGone) {
    audit.sizeLimit = 4;
    const std::wstring order = Order(L"stuck");
    test::WriteFile(order + L"big.jpg", "0123456789");
    const std::wstring leftover = order + ChunkFileName(L"big.jpg", 2, 3);
    test::WriteFile(leftover, "4567");
    test::FileUndeletable hold(leftover);
    if (!hold.Active()) GTEST_SKIP() << "this file system cannot refuse a deletion";
    ASSERT_TRUE(audit.Start(root));
    const std::wstring other = Order(L"other");
    test::WriteFile(other + L"a.jpg", "a");
    ASSERT_TRUE(WaitState(other, kTaskReady));
    std::this_thread::sleep_for(1500ms);  // more looks
    EXPECT_EQ(test::TaskStateOf(audit.Registry(), order), -1);
    hold.Release();
    ASSERT_TRUE(WaitState(order, kTaskSplit));
    EXPECT_FALSE(PathExists(leftover));
    ASSERT_EQ(test::ItemsOf(audit.Registry(), order).size(), 1u);
}

TEST_F(AuditTest, LnkNamesThatAreNotShortcutsArePlainFiles) {
    const std::wstring order = Order(L"links");
    test::WriteFile(order + L"UPPER.LNK", "not a link");
    test::WriteFile(order + L".lnk", "too short");
    test::WriteFile(order + L"broken.lnk", "garbage, not a shell link");
    ASSERT_TRUE(audit.Start(root));
    ASSERT_TRUE(WaitState(order, kTaskReady));
    const auto items = test::ItemsOf(audit.Registry(), order);
    ASSERT_EQ(items.size(), 3u);
    for (auto& i : items) {
        EXPECT_FALSE(i.sourceInLabel) << test::Narrow(i.value);
        EXPECT_TRUE(i.label.empty());
    }
}

TEST_F(AuditTest, SetAuditFolderRestartsOnlyForAnotherPath) {
    const std::wstring first = Order(L"first");
    test::WriteFile(first + L"a.jpg", "a");
    ASSERT_TRUE(audit.Start(root));
    ASSERT_TRUE(WaitState(first, kTaskReady));
    // The stored path in other letters (separator included) is the same folder: nothing changes.
    EXPECT_TRUE(audit.SetAuditFolder(ToUpper(root)));
    EXPECT_EQ(audit.Folder(), root);
    test::TempDir second(L"audit2");
    EXPECT_TRUE(CreateFolder(second / L"next"));
    test::WriteFile(second / L"next" + std::wstring(1, kPathSep) + L"b.jpg", "b");
    EXPECT_TRUE(audit.SetAuditFolder(second.Path()));
    EXPECT_EQ(audit.Folder(), WithTrailingSeparator(second.Path()));
    const std::wstring next = WithTrailingSeparator(second / L"next");
    ASSERT_TRUE(WaitState(next, kTaskReady));
    EXPECT_EQ(test::TaskStateOf(audit.Registry(), first), kTaskReady) << "tasks of the old folder stay queued";
    audit.SetAuditFolder(dir.Path());  // leave the second folder before it is removed
}

TEST_F(AuditTest, MissingAuditFolderIsWaitedFor) {
    const std::wstring late = dir / L"late";
    ASSERT_TRUE(audit.Start(late));
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(audit.IsRunning());
    EXPECT_TRUE(CreateFolder(late));
    EXPECT_TRUE(CreateFolder(late + std::wstring(1, kPathSep) + L"o"));
    test::WriteFile(WithTrailingSeparator(late) + L"o" + kPathSep + L"a.jpg", "x");
    ASSERT_TRUE(WaitState(WithTrailingSeparator(late) + L"o" + kPathSep, kTaskReady));
}

// A folder that arrives whole is taken without waiting to settle: with a settle time far beyond
// the test's, only that road can list it.
TEST_F(AuditTest, OrdersMovedInAreListedAtOnceNotAtTheNextScan) {
    audit.SetSettleQuiet(std::chrono::hours(1));
    ASSERT_TRUE(StartWatching());
    const std::wstring inPlace = Order(L"in place");
    test::WriteFile(inPlace + L"a.jpg", "x");
    for (int i = 0; i < 5; ++i) {
        const std::wstring name = L"moved" + std::to_wstring(i);
        const std::wstring staged = Stage(name);
        EXPECT_TRUE(CreateFolder(staged));
        test::WriteFile(JoinPath(staged, L"a.jpg"), "x");
        std::this_thread::sleep_for(std::chrono::milliseconds(130 * i));  // at different moments of the audit's second
        const std::wstring order = MoveIn(staged, name);
        ASSERT_TRUE(WaitState(order, kTaskReady)) << test::Narrow(name);
    }
    EXPECT_EQ(listed.load(), 5);
    EXPECT_EQ(test::TaskStateOf(audit.Registry(), inPlace), -1) << "filled in place: still settling";
}

// Explorer's "New folder" is named and filled by a person, which takes seconds, or longer.
TEST_F(AuditTest, AnEmptyFolderMadeInPlaceIsLeftToBeNamedWhileAnEmptyOrderMovedInGoes) {
    audit.SetSettleQuiet(200ms, std::chrono::hours(1));
    ASSERT_TRUE(StartWatching());
    const std::wstring newFolder = Order(L"New folder");
    const std::wstring staged = Stage(L"empty order");
    ASSERT_TRUE(CreateFolder(staged));
    const std::wstring emptyOrder = MoveIn(staged, L"empty order");
    ASSERT_TRUE(WaitState(emptyOrder, kTaskEmpty)) << "an empty order moved in settles as any other";
    const uint64_t scans = audit.Scans();
    ASSERT_TRUE(test::WaitUntil([&] { return audit.Scans() >= scans + 2; }));
    EXPECT_EQ(test::TaskStateOf(audit.Registry(), newFolder), -1) << "the new folder is left alone";
    // Named and filled: an order like any other.
    const std::wstring named = MoveIn(root + L"New folder", L"Anna");
    test::WriteFile(named + L"a.jpg", "x");
    ASSERT_TRUE(WaitState(named, kTaskReady));
}

// The audit folder went and came back between two of the audit's looks: the watch ended with it.
TEST_F(AuditTest, AWatchThatFailsIsStartedAgainAndSaysSo) {
    audit.SetSettleQuiet(std::chrono::hours(1));
    ASSERT_TRUE(StartWatching());
    ASSERT_TRUE(RemoveFolder(dir.Path()));
    // Windows (and Wine) keep a folder until the last handle on it closes, the watch's too.
    if (PathExists(dir.Path())) GTEST_SKIP() << "a watched folder stays until its watch ends here";
    ASSERT_TRUE(CreateFolder(dir.Path()));
    ASSERT_TRUE(test::WaitUntil([&] { return restarted.load() == 1; }));
    EXPECT_EQ(audit.LastNotice().path, root);
    EXPECT_NE(audit.LastNotice().reason, L"0") << "the platform's error number";
    const uint64_t scans = audit.Scans();
    ASSERT_TRUE(test::WaitUntil([&] { return audit.Scans() > scans; })) << "watching again";
    const std::wstring order = MoveIn(Staged(L"after"), L"after");
    ASSERT_TRUE(WaitState(order, kTaskReady)) << "taken at once again, not after the settle time";
    EXPECT_EQ(restarted.load(), 1);
}
