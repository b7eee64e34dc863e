#include <gtest/gtest.h>

#include "base/codepage.h"
#include "base/path.h"
#include "base/text_file.h"
#include "base/utf16.h"
#include "support/test_util.h"

using namespace zk;

TEST(Utf16, SurrogatePairsAndRoundTrip) {
    const std::wstring text = std::wstring(L"a\u0416") + static_cast<wchar_t>(sizeof(wchar_t) == 2 ? 0xD83D : 0x1F600) +
                              (sizeof(wchar_t) == 2 ? std::wstring(1, static_cast<wchar_t>(0xDE00)) : std::wstring());
    const std::u16string units = ToUtf16(text);
    ASSERT_EQ(units.size(), 4u);
    EXPECT_EQ(units[0], u'a');
    EXPECT_EQ(units[1], 0x0416);
    EXPECT_EQ(units[2], 0xD83D);
    EXPECT_EQ(units[3], 0xDE00);
    EXPECT_EQ(FromUtf16(units), text);
    EXPECT_EQ(ToUtf8(text), "a\xD0\x96\xF0\x9F\x98\x80");
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(FromUtf8("a\xFF" "b"), L"a\uFFFDb");
}

TEST(Utf16, CaseFoldingCoversCyrillic) {
    EXPECT_TRUE(EqualsNoCase(L"Upload_Chunk_Size", L"UPLOAD_CHUNK_SIZE"));
    EXPECT_TRUE(EqualsNoCase(L"\u0401\u043B\u043A\u0430", L"\u0451\u041B\u041A\u0410"));  // Ёлка / ёЛКА
    EXPECT_FALSE(EqualsNoCase(L"abc", L"abd"));
    EXPECT_EQ(ToUpper(L" upload_chunk_size "), L" UPLOAD_CHUNK_SIZE ");
    EXPECT_EQ(TrimSpaces(L"  a b  "), L"a b");
    EXPECT_EQ(TrimSpaces(L"   "), L"");
}

TEST(CodePage, Windows1251BothWays) {
    std::string bytes;
    ASSERT_TRUE(WideToCodePage(kCodePage1251, L"\u0401\u043B\u043A\u0430 \u2116 A", bytes));
    EXPECT_EQ(bytes, "\xA8\xEB\xEA\xE0 \xB9 A");
    std::wstring back;
    ASSERT_TRUE(CodePageToWide(kCodePage1251, bytes, back));
    EXPECT_EQ(back, L"\u0401\u043B\u043A\u0430 \u2116 A");
    ASSERT_TRUE(WideToCodePage(kCodePage1251, L"\u4E2D", bytes));
    EXPECT_EQ(bytes, "?");
    ASSERT_TRUE(WideToCodePage(kCodePageUtf8, L"\u0416", bytes));
    EXPECT_EQ(bytes, "\xD0\x96");
}

TEST(Paths, SeparatorHelpers) {
    const std::wstring s(1, kPathSep);
    std::wstring p = L"a" + s + L"b" + s + s;
    EXPECT_TRUE(StripTrailingSeparators(p));
    EXPECT_EQ(p, L"a" + s + L"b");
    EXPECT_FALSE(StripTrailingSeparators(p));
    EXPECT_EQ(FileNamePart(p), L"b");
    EXPECT_EQ(FolderPart(p), L"a" + s);
    EXPECT_EQ(JoinPath(L"a" + s, L"c"), L"a" + s + L"c");
    EXPECT_EQ(JoinPath(L"a", L"c"), L"a" + s + L"c");
    EXPECT_EQ(FileNamePart(L"plain"), L"plain");
}

TEST(TextFile, Utf8WithBomAndCrLf) {
    EXPECT_EQ(Utf8TextBytes(L"a\nb\n"), "\xEF\xBB\xBF" "a\r\nb\r\n");
    test::TempDir dir;
    const std::wstring path = dir / L"list.txt";
    EXPECT_EQ(WriteUtf8TextFile(path, L"\u0417\u0430\u043A\u0430\u0437\nx\n"), 8);
    EXPECT_EQ(test::ReadFile(path), "\xEF\xBB\xBF\xD0\x97\xD0\xB0\xD0\xBA\xD0\xB0\xD0\xB7\r\nx\r\n");
    // A second write truncates.
    EXPECT_EQ(WriteUtf8TextFile(path, L"y"), 1);
    EXPECT_EQ(test::ReadFile(path), "\xEF\xBB\xBFy");
    EXPECT_EQ(WriteUtf8TextFile(dir / L"missing" + std::wstring(1, kPathSep) + L"f.txt", L"z"), -1);
}
