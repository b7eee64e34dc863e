#include <gtest/gtest.h>

#include "base/fsys.h"
#include "base/path.h"
#include "base/text_file.h"
#include "session/auth_answer.h"
#include "session/descriptor.h"
#include "session/session_encoders.h"
#include "support/test_util.h"

using namespace zk;

TEST(SessionEncoders, UrlEncodeExamples) {
    EXPECT_EQ(SessionUrlEncode(L"a b&c"), L"a+b%26c");
    EXPECT_EQ(SessionUrlEncode(L"\u0401\u043B\u043A\u0430"), L"%A8%EB%EA%E0");
    EXPECT_EQ(SessionUrlEncode(L"-~"), L"%2D%7E");
    EXPECT_EQ(SessionUrlEncode(L"C:\\\u0417\u0430\u043A\u0430\u0437 1\\a.jpg"), L"C%3A%5C%C7%E0%EA%E0%E7+1%5Ca%2Ejpg");
    EXPECT_EQ(SessionUrlEncode(L"\u0451\t\u0155"), L"%B8%B9%5") << "a byte below 0x10 has one digit";
}

TEST(SessionEncoders, Base64) {
    EXPECT_EQ(Base64Encode(L":"), L"Og==");
    EXPECT_EQ(Base64Encode(L"uploader:s3cret"), L"dXBsb2FkZXI6czNjcmV0");
    EXPECT_EQ(Base64Encode(L"ab"), L"YWI=");
    EXPECT_EQ(Base64Encode(L"\u0416"), L"xg==") << "windows-1251 byte 0xC6";
    EXPECT_EQ(Base64Encode(L""), L"");
}

TEST(AuthAnswer, FragmentsAndAttributes) {
    const std::wstring answer =
        L"<ANSWER><UID>17</UID><AID>42</AID>\r\n<FTP host=\"f.example\" port=\"21\" login=\"fl\"/>"
        L"<HTTP host=\"h.example\" port=\"8080\" path=\"/up\" login=\"hl\" passwd=\"hp\"/></ANSWER>";
    EXPECT_EQ(TextBetween(answer, L"<UID>", L"</UID>"), L"17");
    EXPECT_EQ(TextBetween(answer, L"<AID>", L"</AID>"), L"42");
    EXPECT_EQ(TextBetween(answer, L"<NONE>", L"</NONE>"), L"");
    EXPECT_EQ(TagAttribute(answer, L"<FTP", L"host"), L"f.example");
    EXPECT_EQ(TagAttribute(answer, L"<HTTP", L"path"), L"/up");
    // The attribute search is not bounded by the element: FTP without passwd takes HTTP's.
    EXPECT_EQ(TagAttribute(answer, L"<FTP", L"passwd"), L"hp");
    EXPECT_EQ(TagAttribute(L"<HTTP host=\"open", L"<HTTP", L"host"), L"") << "no closing quote";
    EXPECT_EQ(TagAttribute(answer, L"<NOPE", L"host"), L"");
}

TEST(AuthAnswer, ErrorElements) {
    std::wstring msg;
    ASSERT_TRUE(ErrorReport(L"<ERROR code=\"7\">x</ERROR>", msg));
    EXPECT_EQ(msg, L"x");
    ASSERT_TRUE(ErrorReport(L"<ERROR>x</ERROR>", msg));
    EXPECT_EQ(msg, L"x");
    EXPECT_FALSE(ErrorReport(L"<UID>1</UID>", msg));
    EXPECT_FALSE(ErrorReport(L"<ERROR", msg)) << "no end tag";
}

TEST(AuthAnswer, ServerParameters) {
    const auto p = ParseParams(
        L"<PARAM name=\" upload_chunk_size \"><![CDATA[ 20 ]]></PARAM>"
        L"<PARAM name=\"FILE_TYPES\"><![CDATA[*.*]]></PARAM>"
        L"<PARAM name=\"\"><![CDATA[lost]]></PARAM>"
        L"<PARAM name=\"AFTER\"><![CDATA[ignored]]></PARAM>");
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].first, L"UPLOAD_CHUNK_SIZE");
    EXPECT_EQ(p[0].second, L"20");
    EXPECT_EQ(p[1].first, L"FILE_TYPES");
    EXPECT_EQ(p[1].second, L"*.*");
    EXPECT_TRUE(ParseParams(L"<PARAM name=\"A\">no cdata</PARAM><PARAM name=\"B\"><![CDATA[b]]></PARAM>").empty());
}

TEST(Descriptor, BytesOfTheExample) {
    const std::wstring text = DescriptorText(L"17", L"42", L"C:\\a\\b.jpg", 1024);
    const std::string bytes = Utf8TextBytes(text);
    EXPECT_EQ(bytes,
              "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
              "<DESCRIPTOR for=\"\">\r\n"
              "   <CLIENT id=\"17\"/>\r\n"
              "   <ALBUM id=\"42\"/>\r\n"
              "      <FILE name=\"C:\\a\\b.jpg\" size=\"1024\" checksum=\"\">\r\n"
              "         <TITLE>\r\n"
              "         </TITLE>\r\n"
              "      </FILE>\r\n"
              "</DESCRIPTOR>\r\n");
}

TEST(Descriptor, ValuesAreEscaped) {
    const std::wstring text = DescriptorText(L"1\"", L"<2>", L"C:\\R&D\\\"x\" id=\"99'.jpg", 5);
    EXPECT_NE(text.find(L"<CLIENT id=\"1&quot;\"/>"), std::wstring::npos);
    EXPECT_NE(text.find(L"<ALBUM id=\"&lt;2&gt;\"/>"), std::wstring::npos);
    EXPECT_NE(text.find(L"name=\"C:\\R&amp;D\\&quot;x&quot; id=&quot;99'.jpg\" size=\"5\""), std::wstring::npos);
    // An apostrophe keeps its byte: the value is in double quotes.
    EXPECT_NE(DescriptorText(L"1", L"2", L"D:\\Mom's photos\\a.jpg", 1).find(L"name=\"D:\\Mom's photos\\a.jpg\""), std::wstring::npos);
}

TEST(Descriptor, TemporaryFiles) {
    test::TempDir dir;
    std::wstring desc = L"stale";
    EXPECT_FALSE(WriteDescriptor(L"1", L"2", dir / L"missing.jpg", desc));
    EXPECT_TRUE(desc.empty());
    const std::wstring empty = dir / L"\u0437\u0430\u043A\u0430\u0437.jpg";
    test::WriteFile(empty, "");
    ASSERT_TRUE(WriteDescriptor(L"1", L"2", empty, desc));
    EXPECT_EQ(FileNamePart(desc).substr(0, 3), L"pic");
    const std::string bytes = test::ReadFile(desc);
    EXPECT_NE(bytes.find("size=\"0\""), std::string::npos);
    EXPECT_NE(bytes.find("\xD0\xB7\xD0\xB0\xD0\xBA\xD0\xB0\xD0\xB7.jpg"), std::string::npos) << "UTF-8 path";
    EXPECT_TRUE(DeleteFileAt(desc));
}
