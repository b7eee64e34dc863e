#include <gtest/gtest.h>

#include "base/fsys.h"
#include "base/open_files_posix.h"
#include "support/test_util.h"

using namespace zk;

TEST(OpenFiles, DescriptorSearchFindsAnOpenFile) {
    test::TempDir dir;
    const std::wstring path = dir / L"open.bin";
    test::WriteFile(path, "x");
    EXPECT_FALSE(OpenByAnyDescriptor(path));
    {
        UniqueStream reader(OpenStream(path, L"rb"));
        ASSERT_TRUE(reader);
        EXPECT_TRUE(OpenByAnyDescriptor(path));
    }
    EXPECT_FALSE(OpenByAnyDescriptor(path));
    EXPECT_FALSE(OpenByAnyDescriptor(dir / L"missing"));
}
