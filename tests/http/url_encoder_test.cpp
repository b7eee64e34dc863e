#include <gtest/gtest.h>

#include <string>

#include "http/http_encoder.h"
#include "http/http_errors.h"
#include "http/url_analyzer.h"

using namespace zk;

namespace {
std::wstring UrlEncode(const wchar_t* text, bool utf8, unsigned cp = 1251) {
    std::wstring out(CHttpEncoderW::UrlEncodeLen(text, utf8, cp) + 1, L'\0');
    CHttpEncoderW::UrlEncodeW(text, out.data(), utf8, cp);
    out.pop_back();
    return out;
}
std::string Ansi(const wchar_t* text) {
    std::string out(CHttpEncoderW::AnsiEncodeLen(1251, text) + 1, '\0');
    CHttpEncoderW::AnsiEncode(1251, text, out.data());
    out.pop_back();
    return out;
}
}  // namespace

TEST(UrlAnalyzer, PositionsOfEveryPart) {
    HttpUrlParts p = CHttpUrlAnalyzerT::Analyze(1251, L"abc://host:80/a/b?x=1#frag");
    EXPECT_EQ(p.schemeLen, 3u);
    EXPECT_EQ(p.hostStart, 6u);
    EXPECT_EQ(p.hostLen, 4u);
    EXPECT_EQ(p.portStart, 11u);
    EXPECT_EQ(p.portLen, 2u);
    EXPECT_EQ(p.pathStart, 13u);
    EXPECT_EQ(p.pathLen, 4u);
    EXPECT_EQ(p.queryStart, 17u);
    EXPECT_EQ(p.queryLen, 4u);
    EXPECT_EQ(p.fragmentStart, 21u);
    EXPECT_EQ(p.fragmentLen, 5u);

    p = CHttpUrlAnalyzerT::Analyze(1251, L"h/p");
    EXPECT_EQ(p.schemeLen, 0u);
    EXPECT_EQ(p.hostStart, 0u);
    EXPECT_EQ(p.hostLen, 1u);
    EXPECT_EQ(p.pathStart, 1u);
    EXPECT_EQ(p.pathLen, 2u);
    EXPECT_EQ(p.queryStart, 3u);
    EXPECT_EQ(p.queryLen, 0u);

    p = CHttpUrlAnalyzerT::Analyze(1251, L"abc://h?x");
    EXPECT_EQ(p.hostLen, 1u);
    EXPECT_EQ(p.pathStart, 7u);
    EXPECT_EQ(p.pathLen, 0u);
    EXPECT_EQ(p.queryStart, 7u);
    EXPECT_EQ(p.queryLen, 2u);

    p = CHttpUrlAnalyzerT::Analyze(1251, L"/a?u=abc://x");
    EXPECT_EQ(p.schemeLen, 8u);
    EXPECT_EQ(p.hostStart, 11u);
    EXPECT_EQ(p.hostLen, 1u);

    p = CHttpUrlAnalyzerT::Analyze(1251, L"abc://h:443/");
    EXPECT_EQ(p.portStart, 8u);
    EXPECT_EQ(p.portLen, 3u);
    EXPECT_EQ(p.pathStart, 11u);
    EXPECT_EQ(p.pathLen, 1u);

    p = CHttpUrlAnalyzerT::Analyze(1251, L"abc://h:/p");
    EXPECT_EQ(p.portStart, 8u);
    EXPECT_EQ(p.portLen, 0u);
    EXPECT_EQ(p.pathStart, 8u);
    EXPECT_EQ(p.pathLen, 2u);

    p = CHttpUrlAnalyzerT::Analyze(1251, L"abc:///p");
    EXPECT_EQ(p.hostLen, 0u);
    EXPECT_EQ(p.portStart, 6u);

    p = CHttpUrlAnalyzerT::Analyze(1251, nullptr);
    EXPECT_EQ(p.fragmentStart, 0u);
    try {
        CHttpUrlAnalyzerT::Analyze(65001, L"x");
        FAIL();
    } catch (const httpclientexceptionW& e) {
        EXPECT_STREQ(e.Message(), L"CHttpUrlAnalyzerT::Analyze: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
    }
}

TEST(Encoders, UrlEncodingPerUtf16Unit) {
    EXPECT_EQ(UrlEncode(L"\u0416", false), L"%C6");
    EXPECT_EQ(UrlEncode(L"\u0416", true), L"%D0%96");
    EXPECT_EQ(UrlEncode(L"a b", false), L"a+b");
    EXPECT_EQ(UrlEncode(L"a-b_c.d~", false), L"a%2Db%5Fc%2Ed%7E");
    EXPECT_EQ(CHttpEncoderW::UrlEncodeLen(L"a-b", false, 1251), 5u);
    EXPECT_EQ(UrlEncode(L"\u0401\u043B\u043A\u0430", false), L"%A8%EB%EA%E0");
    EXPECT_EQ(CHttpEncoderW::UrlEncodeLen(L"", false, 1251), 0u);
    EXPECT_EQ(_UrlEncodeLen("a b\x01"), 6u);
}

TEST(Encoders, AnsiAndUtf8) {
    EXPECT_EQ(CHttpEncoderW::AnsiEncodeLen(1251, L""), 0u);
    char one[1] = {'x'};
    CHttpEncoderW::AnsiEncode(1251, L"", one);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(Ansi(L"\u0417\u0430\u043A\u0430\u0437 1"), "\xC7\xE0\xEA\xE0\xE7 1");
    EXPECT_EQ(CHttpEncoderW::Utf8EncodeLen(L"\u0416a"), 3u);
    try {
        CHttpEncoderW::Utf8Encode(L"a", nullptr);
        FAIL();
    } catch (const httpclientexceptionW& e) {
        EXPECT_STREQ(e.Message(), L"CHttpEncoderW::Utf8Encode: szBuff can not be NULL.");
    }
    try {
        CHttpEncoderW::AnsiEncodeLen(65000, L"a");
        FAIL();
    } catch (const httpclientexceptionW& e) {
        EXPECT_STREQ(e.Message(), L"CHttpEncoderW::AnsiEncodeLen: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
    }
    try {
        _UrlEncodeLen(nullptr);
        FAIL();
    } catch (const httpclientexceptionW& e) {
        EXPECT_STREQ(e.Message(), L"_UrlEncodeLen: szStr can not be NULL.");
    }
}
