// The folder audit on real folders with its real worker thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

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
        });
    }
    std::wstring Order(const std::wstring& name) {
        EXPECT_TRUE(CreateFolder(root + name));
        return root + name + kPathSep;
    }
    bool WaitState(const std::wstring& task, int state) {
        return test::WaitUntil([&] { return test::TaskStateOf(audit.Registry(), task) == state; });
    }

    test::TempDir dir{L"audit"};
    std::wstring root;
    CVelmoFolderAudit audit;
    std::atomic<int> created{0}, listed{0};
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

TEST_F(AuditTest, FileHeldOpenKeepsTheTaskWaitingUntilClosed) {
    const std::wstring order = Order(L"busy");
    test::WriteFile(order + L"done.jpg", "ok");
    UniqueStream writer(OpenStream(order + L"writing.jpg", L"wb"));
    ASSERT_TRUE(writer);
    std::fputs("partial", writer.get());
    std::fflush(writer.get());
    ASSERT_TRUE(audit.Start(root));
    ASSERT_TRUE(WaitState(order, kTaskWaiting));
    EXPECT_EQ(audit.Registry().waitingTasks.load(), 1);
    bool sawInUse = false;
    for (auto& i : test::ItemsOf(audit.Registry(), order))
        if (FileNamePart(i.value) == L"writing.jpg") sawInUse = i.state == kFileInUse;
    EXPECT_TRUE(sawInUse);
    // A second look happens only when a candidate folder is met: give it one.
    Order(L"another");
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(test::TaskStateOf(audit.Registry(), order), kTaskWaiting);
    writer.reset();
    ASSERT_TRUE(WaitState(order, kTaskReady));
    EXPECT_EQ(audit.Registry().waitingTasks.load(), 0);
    for (auto& i : test::ItemsOf(audit.Registry(), order)) EXPECT_EQ(i.state, kFileReady);
}

TEST_F(AuditTest, FileThatGrewPastTheLimitWhileWrittenIsSplitNotSentWhole) {
    audit.sizeLimit = 1024 * 1024;
    const std::wstring order = Order(L"growing");
    UniqueStream writer(OpenStream(order + L"scan.tif", L"wb"));
    ASSERT_TRUE(writer);
    std::fputs("header", writer.get());
    std::fflush(writer.get());
    ASSERT_TRUE(audit.Start(root));
    ASSERT_TRUE(WaitState(order, kTaskWaiting));
    const std::string rest(3 * 1024 * 1024, 'p');
    std::fwrite(rest.data(), 1, rest.size(), writer.get());
    writer.reset();
    Order(L"another");  // a second look happens when a candidate folder is met
    ASSERT_TRUE(WaitState(order, kTaskSplit));
    const auto items = test::ItemsOf(audit.Registry(), order);
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items[0].state, kFileTooBig);
    EXPECT_EQ(items[0].size, rest.size() + 6);
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
    ASSERT_TRUE(WaitState(WithTrailingSeparator(late) + L"o" + kPathSep, kTaskEmpty));
}

TEST_F(AuditTest, OrdersMovedInAreListedAtOnceNotAtTheNextScan) {
    test::TempDir stage(L"auditstage");
    ASSERT_TRUE(audit.Start(root));
    Order(L"first");
    ASSERT_TRUE(test::WaitUntil([&] { return listed == 1; }));
    // Five orders moved in at different moments of the audit's second: each is listed long
    // before a scan a second later would have found it.
    for (int i = 0; i < 5; ++i) {
        const std::wstring name = L"moved" + std::to_wstring(i);
        const std::wstring staged = stage / name;
        EXPECT_TRUE(CreateFolder(staged));
        test::WriteFile(JoinPath(staged, L"a.jpg"), "x");
        std::this_thread::sleep_for(std::chrono::milliseconds(130 * i));
        const int before = listed;
        ASSERT_TRUE(RenamePath(staged, root + name));
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_TRUE(test::WaitUntil([&] { return listed == before + 1; }));
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms) << test::Narrow(name);
    }
}
