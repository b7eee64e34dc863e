#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "base/fsys.h"
#include "base/path.h"
#include "base/manual_event.h"
#include "base/unique_handle.h"
#include "base/wake_signal.h"
#include "support/test_util.h"

using namespace zk;

namespace {
std::vector<int> g_closed;
void RecordClose(int h) { g_closed.push_back(h); }
using Owned = UniqueHandle<int, &RecordClose, -1>;
}  // namespace

TEST(UniqueHandle, ClosesExactlyOnceAcrossMovesResetAndRelease) {
    g_closed.clear();
    {
        Owned a(3);
        Owned b(std::move(a));
        EXPECT_FALSE(a.valid());
        EXPECT_EQ(b.get(), 3);
        Owned c;
        c = std::move(b);
        c.reset(4);  // closes 3
        EXPECT_EQ(g_closed, std::vector<int>({3}));
        int* slot = c.put();  // closes 4
        *slot = 5;
        EXPECT_EQ(c.get(), 5);
        const int raw = c.release();
        EXPECT_EQ(raw, 5);
        Owned d(7);
    }  // closes 7 only; 5 was released
    EXPECT_EQ(g_closed, std::vector<int>({3, 4, 7}));
}

namespace {
std::vector<void*> g_closedPointers;
void RecordPointerClose(void* h) { g_closedPointers.push_back(h); }
// As a file handle: null is a handle like any other, all bits set is "none".
using OwnedFile = UniqueHandle<void*, &RecordPointerClose, intptr_t{-1}>;
}  // namespace

TEST(UniqueHandle, PointerHandlesCanHaveAnotherNoneThanNull) {
    g_closedPointers.clear();
    void* const none = reinterpret_cast<void*>(intptr_t{-1});
    {
        OwnedFile empty;
        EXPECT_FALSE(empty.valid());
        EXPECT_EQ(empty.get(), none);
        OwnedFile failed(none);  // what a failed open gives
        EXPECT_FALSE(failed);
        OwnedFile zero(nullptr);
        EXPECT_TRUE(zero.valid());
    }
    EXPECT_EQ(g_closedPointers, std::vector<void*>({nullptr})) << "only the real handle is closed";
}

TEST(WakeSignal, ARaiseIsKeptForTheNextWaitAndTakenByIt) {
    WakeSignal wake;
    EXPECT_FALSE(wake.Wait(std::chrono::milliseconds(1))) << "nothing raised";
    wake.Raise();  // while nobody waits
    EXPECT_TRUE(wake.Wait(std::chrono::milliseconds(0)));
    EXPECT_FALSE(wake.Wait(std::chrono::milliseconds(1))) << "taken by the first wait";
    std::thread raiser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        wake.Raise();
    });
    EXPECT_TRUE(wake.Wait(std::chrono::seconds(30)));
    raiser.join();
    // A stop event that a sleeping worker's signal is attached to wakes it too.
    ManualResetEvent stop;
    stop.Attach(&wake);
    stop.Set();
    EXPECT_TRUE(wake.Wait(std::chrono::milliseconds(0)));
}

TEST(ManualResetEvent, StaysSignalledUntilReset) {
    ManualResetEvent ev;
    EXPECT_FALSE(ev.IsSet());
    EXPECT_FALSE(ev.WaitFor(std::chrono::milliseconds(1)));
    std::thread t([&] { ev.Set(); });
    EXPECT_TRUE(ev.WaitFor(std::chrono::seconds(10)));
    t.join();
    EXPECT_TRUE(ev.IsSet());
    EXPECT_TRUE(ev.WaitFor(std::chrono::milliseconds(0)));
    ev.Reset();
    EXPECT_FALSE(ev.IsSet());
}

TEST(ManualResetEvent, PauseEndsEarlyOnStop) {
    ManualResetEvent ev;
    const auto t0 = std::chrono::steady_clock::now();
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ev.Set();
    });
    EXPECT_TRUE(PauseUnlessStopped(ev, std::chrono::seconds(30)));
    t.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    ManualResetEvent idle;
    EXPECT_FALSE(PauseUnlessStopped(idle, std::chrono::milliseconds(20)));
}

TEST(FileSystem, LockedWhileAnotherHandleHoldsTheFile) {
    test::TempDir dir;
    const std::wstring path = dir / L"held.bin";
    EXPECT_TRUE(IsFileLocked(path)) << "a missing file counts as in use";
    {
        UniqueStream writer(OpenStream(path, L"wb"));
        ASSERT_TRUE(writer);
        std::fputs("data", writer.get());
        std::fflush(writer.get());
        EXPECT_TRUE(IsFileLocked(path));
    }
    EXPECT_FALSE(IsFileLocked(path));
}

TEST(FileSystem, ListingWildcardsAndFolderOps) {
    test::TempDir dir;
    test::WriteFile(dir / L"_content_12.lst", "x");
    test::WriteFile(dir / L"A.JPG", "xyz");
    ASSERT_TRUE(CreateFolder(dir / L"sub"));
    EXPECT_TRUE(CreateFolder(dir / L"sub")) << "an existing folder is no error";
    std::vector<DirEntry> entries;
    EXPECT_EQ(ListFolder(dir.Path(), L"*.*", entries), ListResult::Ok);
    EXPECT_EQ(entries.size(), 3u);
    EXPECT_EQ(ListFolder(dir.Path(), L"_content_*.lst", entries), ListResult::Ok);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(ListFolder(dir.Path(), L"*.jpg", entries), ListResult::Ok);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].size, 3u);
    EXPECT_EQ(ListFolder(dir.Path(), L"*.log", entries), ListResult::NoMatch);
    EXPECT_EQ(ListFolder(dir / L"nowhere", L"*.*", entries), ListResult::Failed);
    EXPECT_TRUE(WildcardMatch(L"a?c*", L"abcdef"));
    EXPECT_FALSE(WildcardMatch(L"a?c", L"abcd"));
    EXPECT_TRUE(RenamePath(dir / L"sub", dir / L"sub2"));
    EXPECT_FALSE(RenamePath(dir / L"A.JPG", dir / L"_content_12.lst")) << "a move never replaces";
    EXPECT_TRUE(RemoveFolder(dir / L"sub2"));
    EXPECT_FALSE(PathExists(dir / L"sub2"));
}

TEST(FileSystem, UniqueTempFilesWithPrefix) {
    const std::wstring a = CreateUniqueTempFile(L"pic");
    const std::wstring b = CreateUniqueTempFile(L"pic");
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(FileNamePart(a).substr(0, 3), L"pic");
    EXPECT_EQ(FileSizeOf(a), 0);
    EXPECT_TRUE(DeleteFileAt(a));
    EXPECT_TRUE(DeleteFileAt(b));
}
