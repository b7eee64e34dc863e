// The folder watch on a real folder: subfolders that appear wake the waiting worker.
#include <gtest/gtest.h>

#include <chrono>

#include "base/folder_watch.h"
#include "base/fsys.h"
#include "base/path.h"
#include "support/test_util.h"

using namespace zk;
using namespace std::chrono_literals;

TEST(FolderWatch, SubfoldersMovedInOrMadeWakeTheWaiterAndStopEndsIt) {
    test::TempDir dir(L"watch");
    const std::wstring watched = dir / L"audit.UPLOAD";
    EXPECT_TRUE(CreateFolder(watched));
    EXPECT_TRUE(CreateFolder(dir / L"stage"));
    EXPECT_TRUE(CreateFolder(JoinPath(dir / L"stage", L"order")));
    WakeSignal wake;
    FolderWatch watch(wake);
    ASSERT_TRUE(watch.Start(watched));
    EXPECT_FALSE(wake.Wait(100ms)) << "nothing happened yet";
    ASSERT_TRUE(RenamePath(JoinPath(dir / L"stage", L"order"), JoinPath(watched, L"order")));
    EXPECT_TRUE(wake.Wait(10s)) << "an order moved in";
    ASSERT_TRUE(CreateFolder(JoinPath(watched, L"made")));
    EXPECT_TRUE(wake.Wait(10s)) << "an order folder made in place";
    test::WriteFile(JoinPath(watched, L"loose.txt"), "a file is not an order");
    EXPECT_FALSE(wake.Wait(300ms));
    watch.Stop();
    EXPECT_FALSE(watch.Active());
    EXPECT_TRUE(CreateFolder(JoinPath(watched, L"after")));
    EXPECT_FALSE(wake.Wait(300ms)) << "a stopped watch raises nothing";
    EXPECT_FALSE(FolderWatch(wake).Start(dir / L"missing"));
}

TEST(FolderWatch, AWatchWhoseFolderGoesEndsAsFailedAndWakesItsOwner) {
    test::TempDir dir(L"watchgone");
    const std::wstring watched = dir / L"audit.UPLOAD";
    ASSERT_TRUE(CreateFolder(watched));
    WakeSignal wake;
    FolderWatch watch(wake);
    ASSERT_TRUE(watch.Start(watched));
    EXPECT_FALSE(watch.Failed());
    ASSERT_TRUE(RemoveFolder(watched));
    // Windows (and Wine) keep a folder until the last handle on it closes, the watch's too.
    if (PathExists(watched)) GTEST_SKIP() << "a watched folder stays until its watch ends here";
    EXPECT_TRUE(wake.Wait(10s));
    ASSERT_TRUE(test::WaitUntil([&] { return watch.Failed(); }, 10s));
    uint32_t error = 0;
    EXPECT_TRUE(watch.Failed(&error));
    EXPECT_NE(error, 0u);
    ASSERT_TRUE(CreateFolder(watched));
    ASSERT_TRUE(watch.Start(watched));
    EXPECT_FALSE(watch.Failed()) << "started again";
    ASSERT_TRUE(CreateFolder(JoinPath(watched, L"order")));
    EXPECT_TRUE(wake.Wait(10s));
}
