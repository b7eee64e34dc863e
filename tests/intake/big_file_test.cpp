// The big-file splitter on real files with its real low-priority worker.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "base/file_io.h"
#include "base/fsys.h"
#include "base/path.h"
#include "intake/big_file.h"
#include "intake/chunk_name.h"
#include "support/registry_view.h"
#include "support/test_util.h"

using namespace zk;
using namespace std::chrono_literals;

namespace {

constexpr uint64_t MiB = 1024 * 1024;

class SplitterTest : public ::testing::Test {
protected:
    void SetUp() override {
        order = WithTrailingSeparator(dir / L"order");
        EXPECT_TRUE(CreateFolder(dir / L"order"));
        splitter.SetRegistry(&reg);
        splitter.SetCallback(this, [](void* user, CVelmoBigFile*, int code) {
            auto* self = static_cast<SplitterTest*>(user);
            if (code == CVelmoBigFile::kEventChunkWritten) ++self->written;
            if (code == CVelmoBigFile::kEventFailed) ++self->failures;
        });
    }
    // A task in state 3 holding the given items (value, size, state, label).
    CZKRBTreeNode* MakeTask(std::initializer_list<std::tuple<std::wstring, uint64_t, int32_t, std::wstring>> items) {
        std::lock_guard lock(reg.Mutex());
        CZKRBTreeNode* t = reg.Insert(order);
        for (auto& [value, size, state, label] : items) {
            CZKListEntry* f = t->AddFile(L"", value, label);
            f->size = size;
            f->state = state;
            f->sourceInLabel = !label.empty();
        }
        t->state = kTaskSplit;
        return t;
    }
    std::string Concat(const std::vector<test::ItemView>& items, size_t from, size_t n) {
        std::string all;
        for (size_t i = from; i < from + n; ++i) all += test::ReadFile(items[i].value);
        return all;
    }

    test::TempDir dir{L"split"};
    std::wstring order;
    CZKRBTree reg;
    CVelmoBigFile splitter;
    std::atomic<int> written{0}, failures{0};
};

}  // namespace

TEST_F(SplitterTest, TwentyFiveMiBAtTenGivesThreeChunksInPlaceOfTheBigFile) {
    const std::string source = test::PatternBytes(25 * MiB, 3);
    test::WriteFile(order + L"photo.jpg", source);
    test::WriteFile(order + L"a.jpg", "a");
    test::WriteFile(order + L"z.jpg", "z");
    MakeTask({{order + L"a.jpg", 1, kFileReady, L""}, {order + L"photo.jpg", 25 * MiB, kFileTooBig, L""}, {order + L"z.jpg", 1, kFileReady, L""}});
    splitter.chunkSize = 10 * MiB;
    ASSERT_TRUE(splitter.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return test::TaskStateOf(reg, order) == kTaskReady; }, 60s));
    const auto items = test::ItemsOf(reg, order);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(FileNamePart(items[0].value), L"a.jpg");
    EXPECT_EQ(FileNamePart(items[1].value), ChunkFileName(L"photo.jpg", 1, 3));
    EXPECT_EQ(FileNamePart(items[2].value), ChunkFileName(L"photo.jpg", 2, 3));
    EXPECT_EQ(FileNamePart(items[3].value), ChunkFileName(L"photo.jpg", 3, 3));
    EXPECT_EQ(FileNamePart(items[4].value), L"z.jpg");
    EXPECT_EQ(items[1].size, 10 * MiB);
    EXPECT_EQ(items[3].size, 5 * MiB);
    for (size_t i = 1; i <= 3; ++i) EXPECT_EQ(items[i].state, kFileNew);
    EXPECT_EQ(Concat(items, 1, 3), source);
    EXPECT_FALSE(PathExists(order + L"photo.jpg"));
    EXPECT_EQ(reg.fileCount.load(), 5);
    EXPECT_EQ(written.load(), 3);
}

TEST_F(SplitterTest, ExactMultipleAndOneByteOver) {
    CZKLockedList scratch;
    test::WriteFile(order + L"two.bin", test::PatternBytes(2 * MiB, 1));
    ASSERT_TRUE(splitter.SplitFile(order + L"two.bin", order + L"two.bin", order, MiB, &scratch));
    ASSERT_EQ(scratch.Count(), 2);
    EXPECT_EQ(FileNamePart(scratch.Last()->value), ChunkFileName(L"two.bin", 2, 2));
    EXPECT_EQ(scratch.First()->key, order + L"two.bin");
    EXPECT_EQ(scratch.Last()->size, MiB);
    scratch.Empty();
    test::WriteFile(order + L"over.bin", test::PatternBytes(MiB + 1, 2));
    ASSERT_TRUE(splitter.SplitFile(order + L"over.bin", order + L"over.bin", order, MiB, &scratch));
    ASSERT_EQ(scratch.Count(), 2);
    EXPECT_EQ(FileNamePart(scratch.Last()->value), ChunkFileName(L"over.bin", 2, 2));
    EXPECT_EQ(scratch.Last()->size, 1u);
    EXPECT_EQ(test::ReadFile(scratch.Last()->value), test::PatternBytes(MiB + 1, 2).substr(MiB));
    EXPECT_FALSE(splitter.SplitFile(order + L"over.bin", order + L"over.bin", order, MiB, nullptr));
}

TEST_F(SplitterTest, ChunkSizeZeroMarksItemsReadyWithoutWriting) {
    test::WriteFile(order + L"big.jpg", std::string(5000, 'b'));
    MakeTask({{order + L"big.jpg", 5000, kFileTooBig, L""}});
    splitter.chunkSize = 0;
    ASSERT_TRUE(splitter.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return test::TaskStateOf(reg, order) == kTaskReady; }));
    const auto items = test::ItemsOf(reg, order);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].state, kFileReady);
    std::vector<DirEntry> files;
    ListFolder(order, L"*.*", files);
    EXPECT_EQ(files.size(), 1u);
}

TEST_F(SplitterTest, ShortcutItemIsCutFromItsTargetWhichStays) {
    test::TempDir outside(L"target");
    const std::wstring target = outside / L"huge.tif";
    const std::string bytes = test::PatternBytes(3 * MiB + 100, 9);
    test::WriteFile(target, bytes);
    test::WriteFile(order + L"huge.tif.lnk", "shortcut file");
    MakeTask({{order + L"huge.tif.lnk", bytes.size(), kFileTooBig, target}});
    splitter.chunkSize = 2 * MiB;
    ASSERT_TRUE(splitter.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return test::TaskStateOf(reg, order) == kTaskReady; }, 60s));
    const auto items = test::ItemsOf(reg, order);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].value, order + ChunkFileName(L"huge.tif.lnk", 1, 2));
    EXPECT_EQ(Concat(items, 0, 2), bytes);
    EXPECT_FALSE(PathExists(order + L"huge.tif.lnk")) << "the shortcut goes";
    EXPECT_EQ(test::ReadFile(target), bytes) << "its target stays";
}

TEST_F(SplitterTest, SourceHeldOpenFailsWith2002AndKeepsEverything) {
    const std::wstring big = order + L"busy.jpg";
    test::WriteFile(big, std::string(3000, 'q'));
    UniqueStream writer(OpenStream(big, L"ab"));
    ASSERT_TRUE(writer);
    MakeTask({{big, 3000, kFileTooBig, L""}});
    splitter.chunkSize = 1000;
    ASSERT_TRUE(splitter.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return test::TaskStateOf(reg, order) == kTaskFailed; }));
    EXPECT_EQ(test::ItemsOf(reg, order).front().state, kFileFailed);
    splitter.Stop();
    EXPECT_EQ(splitter.StatusCode(), 2002);
    EXPECT_EQ(splitter.StatusMessage(), L"Не возможно открыть файл для чтения: " + big);
    EXPECT_TRUE(PathExists(big));
    std::vector<DirEntry> files;
    ListFolder(order, L"*.*", files);
    EXPECT_EQ(files.size(), 1u) << "no chunk left behind";
    EXPECT_GE(failures.load(), 1);
}

TEST_F(SplitterTest, StopDuringASplitIsHonouredWithinOneChunk) {
    const std::string bytes = test::PatternBytes(40 * 64 * 1024, 5);
    test::WriteFile(order + L"long.bin", bytes);
    MakeTask({{order + L"long.bin", bytes.size(), kFileTooBig, L""}});
    splitter.chunkSize = 64 * 1024;  // 40 chunks, about 150 ms each
    ASSERT_TRUE(splitter.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return written >= 2; }));
    const auto t0 = std::chrono::steady_clock::now();
    splitter.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_FALSE(splitter.IsRunning());
    EXPECT_EQ(test::TaskStateOf(reg, order), kTaskFailed);
    EXPECT_EQ(test::ItemsOf(reg, order).front().state, kFileFailed);
    EXPECT_EQ(splitter.StatusCode(), 2001);
    EXPECT_TRUE(PathExists(order + L"long.bin")) << "the source is never deleted on failure";
    // Chunks left behind are whole; the one being written is gone.
    std::vector<DirEntry> files;
    ListFolder(order, L"*.*", files);
    EXPECT_LT(files.size(), 41u);
    for (auto& f : files) {
        if (f.name == L"long.bin") continue;
        EXPECT_EQ(f.size, 64u * 1024) << test::Narrow(f.name);
    }
}

#if !defined(_WIN32)
// A full disk, for real: the second chunk's name leads to /dev/full, where every write fails
// with ENOSPC. (Windows has no such device; the Wine fault test fills a small file system.)
TEST_F(SplitterTest, FullDiskFailsTheSplitAndLeavesNoChunkBehind) {
    const std::string source = test::PatternBytes(3 * MiB, 5);
    test::WriteFile(order + L"photo.jpg", source);
    const std::wstring second = order + ChunkFileName(L"photo.jpg", 2, 3);
    ASSERT_EQ(::symlink("/dev/full", test::Narrow(second).c_str()), 0);
    MakeTask({{order + L"photo.jpg", 3 * MiB, kFileTooBig, L""}});
    splitter.chunkSize = 1 * MiB;
    ASSERT_TRUE(splitter.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return test::TaskStateOf(reg, order) == kTaskFailed; }, 60s));
    EXPECT_EQ(splitter.StatusCode(), CVelmoBigFile::kStatusWrite);
    EXPECT_EQ(written.load(), 1) << "the first chunk was written before the disk filled";
    std::vector<DirEntry> left;
    ListFolder(order, L"*.*", left);
    ASSERT_EQ(left.size(), 1u) << "no chunk of the failed split stays to be sent as a partial set";
    EXPECT_EQ(left[0].name, L"photo.jpg");
    EXPECT_EQ(test::ReadFile(order + L"photo.jpg"), source) << "the source goes whole";
    const auto items = test::ItemsOf(reg, order);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].state, kFileFailed);
}
#endif

TEST(FileIo, SixtyFourBitSizesAndPositions) {
    test::TempDir dir(L"sparse");
    const std::wstring path = dir / L"sparse.bin";
    const uint64_t far = 4ull * 1024 * MiB + 512 * MiB;  // 4.5 GiB
    {
        fileio::UniqueFile f(fileio::CreateForWrite(path));
        ASSERT_TRUE(f);
        ASSERT_TRUE(fileio::SeekTo(f.get(), far));
        ASSERT_TRUE(fileio::Write(f.get(), "MARK", 4));
        ASSERT_TRUE(fileio::Write(f.get(), "", 0)) << "a zero-byte write succeeds on both platforms";
    }
    fileio::UniqueFile f(fileio::OpenReadExclusive(path));
    ASSERT_TRUE(f);
    uint64_t size = 0;
    ASSERT_TRUE(fileio::Size(f.get(), size));
    EXPECT_EQ(size, far + 4);
    ASSERT_TRUE(fileio::SeekTo(f.get(), far));
    char buf[8] = {};
    size_t got = 0;
    ASSERT_TRUE(fileio::Read(f.get(), buf, sizeof buf, got));
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buf, 4), "MARK");
}
