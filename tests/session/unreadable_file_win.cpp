// A file that another program holds open for writing cannot be read: it must not go as an
// empty part (the server could accept it and the file would be deleted unsent).
#include <gtest/gtest.h>

#include <windows.h>

#include "base/win_handles.h"
#include "session_helpers.h"

using namespace zk;

TEST(UnreadableFile, IsRefusedBeforeAnyDataIsSent) {
    refsrv::RefService service;
    ASSERT_TRUE(service.Start());
    CVelmoConnect session;
    test::Configure(session, service);
    ASSERT_TRUE(session.Authenticate());
    test::TempDir dir(L"locked");
    const std::wstring file = dir / L"writing.jpg";
    test::WriteFile(file, "being written");
    UniqueFileHandle writer(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_FALSE(session.UploadFile(file));
    EXPECT_EQ(session.LastErrorCode(), 1005);
    EXPECT_EQ(session.LastErrorText(), L"Невозможно прочитать файл: " + file);
    EXPECT_TRUE(service.Received().empty());
    writer.reset();
    EXPECT_TRUE(session.UploadFile(file));
    ASSERT_EQ(service.Received().size(), 1u);
    EXPECT_EQ(service.Received()[0].data, "being written");
}
