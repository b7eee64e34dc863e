// The file an upload reads may be deleted meanwhile (the folder is cleared after acceptance),
// but not written: what is sent stays what was opened.
#include <gtest/gtest.h>

#include <windows.h>

#include "base/fsys.h"
#include "base/win_handles.h"
#include "http/http_tool.h"
#include "support/test_util.h"

using namespace zk;

TEST(UploadFileShare, DeletionIsAllowedWritingIsNot) {
    test::TempDir dir(L"share");
    const std::wstring file = dir / L"sent.jpg";
    test::WriteFile(file, "image bytes");
    HttpFileHandle h = CHttpToolW::OpenFile(file.c_str());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    UniqueFileHandle reading(h);
    UniqueFileHandle writer(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(writer.valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(DeleteFileAt(file));
    reading.reset();
    EXPECT_FALSE(PathExists(file));
}
