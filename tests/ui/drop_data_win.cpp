// The drop target's reading of a data object: CF_HDROP lists and data without one.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <cstring>

#include "ui/drop_target_win.h"
#include "ui/file_list_win.h"

using namespace zk;


using test::FileList;

TEST(DropData, FileListsAndDataWithoutOne) {
    FileList three({L"C:\\a\\\u0444\u043E\u0442\u043E.jpg", L"C:\\b.kzo", L"C:\\c.txt"});
    std::vector<std::wstring> paths;
    UINT count = 0;
    ASSERT_TRUE(DroppedPaths(&three, &paths, &count));
    EXPECT_EQ(count, 3u);
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], L"C:\\a\\\u0444\u043E\u0442\u043E.jpg");
    FileList text({});
    EXPECT_FALSE(DroppedPaths(&text, &paths, &count)) << "text without a file list is refused";
    EXPECT_FALSE(DroppedPaths(nullptr, &paths, &count));
}
