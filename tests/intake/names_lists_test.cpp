#include <gtest/gtest.h>

#include <ctime>

#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "intake/chunk_name.h"
#include "intake/content_list.h"
#include "support/test_util.h"
#include "tasks/digest.h"

using namespace zk;

TEST(ChunkNames, FormatAndRecognition) {
    const std::wstring d = DigestHex(NameDigestOf(L"photo.jpg"));
    EXPECT_EQ(ChunkFileName(L"photo.jpg", 2, 3), L"photo.jpg." + d + L".p2-3");
    test::TempDir dir;
    const std::wstring source = dir / L"photo.jpg";
    const std::wstring chunk = dir / ChunkFileName(L"photo.jpg", 1, 3);
    ChunkNameInfo info = ParseChunkName(chunk);
    EXPECT_TRUE(info.isChunk);
    EXPECT_EQ(info.sourcePath, source);
    EXPECT_FALSE(info.sourceExists);
    test::WriteFile(source, "x");
    EXPECT_TRUE(ParseChunkName(chunk).sourceExists);
    // The digest is compared without regard to case; the last part is not examined.
    std::wstring upper = L"photo.jpg." + ToUpper(d) + L".anything";
    EXPECT_TRUE(ParseChunkName(dir / upper).isChunk);
    EXPECT_FALSE(ParseChunkName(dir / (L"photo.jpg.0123456789abcdef0123456789abcdef.p1-2")).isChunk);
    EXPECT_FALSE(ParseChunkName(L"photo.jpg." + d + L".p1-2").isChunk) << "no folder separator";
    EXPECT_FALSE(ParseChunkName(dir / L"plain").isChunk);
}

TEST(ContentList, BytesForTwoFiles) {
    test::TempDir dir;
    const std::wstring task = WithTrailingSeparator(dir.Path());
    const std::wstring a = task + L"a.jpg", b = task + L"b.jpg";
    const std::wstring text = a + L"\n" + b + L"\n";
    std::wstring listPath;
    ASSERT_EQ(WriteContentList(task, text, listPath), kListWritten);
    EXPECT_EQ(FolderPart(listPath), task);
    const std::wstring name = FileNamePart(listPath);
    EXPECT_EQ(name.rfind(L"_content_", 0), 0u);
    EXPECT_EQ(name.substr(name.size() - 4), L".lst");
    EXPECT_EQ(test::ReadFile(listPath), "\xEF\xBB\xBF" + ToUtf8(a) + "\r\n" + ToUtf8(b) + "\r\n");
    // An existing list prevents a second one.
    std::wstring again = L"stale";
    EXPECT_EQ(WriteContentList(task, text, again), kListExists);
    EXPECT_TRUE(again.empty());
    EXPECT_EQ(WriteContentList(task + L"missing" + kPathSep, text, again), kListNoFolder);
}

TEST(ContentList, CyrillicPathIsUtf8) {
    test::TempDir dir;
    const std::wstring task = WithTrailingSeparator(dir.Path());
    const std::wstring file = task + L"\u0417\u0430\u043A\u0430\u0437.jpg";
    std::wstring listPath;
    ASSERT_EQ(WriteContentList(task, file + L"\n", listPath), kListWritten);
    const std::string bytes = test::ReadFile(listPath);
    EXPECT_NE(bytes.find("\xD0\x97\xD0\xB0\xD0\xBA\xD0\xB0\xD0\xB7.jpg\r\n"), std::string::npos);
    EXPECT_TRUE(HasContentList(task + L"nowhere" + kPathSep)) << "a failing search counts as a list";
}

TEST(ContentList, NameUsesTheSignedLow32BitsOfTheTime) {
    EXPECT_EQ(ContentListName(1765000000), L"_content_1765000000.lst");
    EXPECT_EQ(ContentListName(2147483648LL), L"_content_-2147483648.lst") << "2038-01-19 03:14:08 UTC";
    EXPECT_EQ(ContentListName(4294967296LL + 5), L"_content_5.lst");
}
