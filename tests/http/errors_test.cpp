#include <gtest/gtest.h>

#include <string>

#include "http/http_errors.h"
#include "http/net_error_words.h"
#include "http/safe_int.h"
#include "base/utf16.h"

using namespace zk;

namespace {
template <class F>
httpclientexceptionW Catch(F f) {
    try {
        f();
    } catch (const httpclientexceptionW& e) {
        return e;
    }
    ADD_FAILURE() << "nothing was thrown";
    return {};
}
}  // namespace

TEST(HttpErrors, LookupAtTheEdgesOfEachRange) {
    // Each hundred has its own list; past a list's end and between the hundreds there is no text.
    EXPECT_STREQ(HttpErrorMessageW(0), L"Not specified");
    EXPECT_STREQ(HttpErrorMessageW(99), L"Not specified");
    EXPECT_STREQ(HttpErrorMessageW(100), L"Unexpected error occurred.");
    EXPECT_STREQ(HttpErrorMessageW(114), L"The file (%s) aleady exists.");
    EXPECT_STREQ(HttpErrorMessageW(115), L"");
    EXPECT_STREQ(HttpErrorMessageW(199), L"");
    EXPECT_STREQ(HttpErrorMessageW(200), L"");
    EXPECT_STREQ(HttpErrorMessageW(399), L"");
    EXPECT_STREQ(HttpErrorMessageW(400), L"::HttpQueryInfo failed.");
    EXPECT_STREQ(HttpErrorMessageW(410), L"::InternetSetOption failed.");
    EXPECT_STREQ(HttpErrorMessageW(411), L"");
    EXPECT_STREQ(HttpErrorMessageW(599), L"");
    EXPECT_STREQ(HttpErrorMessageW(600), L"::WideCharToMultiByte failed.");
    EXPECT_STREQ(HttpErrorMessageW(606), L"::WriteFile failed (\"%s\").");
    EXPECT_STREQ(HttpErrorMessageW(607), L"");
    EXPECT_STREQ(HttpErrorMessageW(999), L"");
    EXPECT_STREQ(HttpErrorMessageW(1000), L"user-defined error message");
    EXPECT_STREQ(HttpErrorMessageW(0xFFFFFFFFu), L"user-defined error message");
    // The narrow texts are the same texts.
    for (uint32_t code = 0; code < 1100; ++code)
        EXPECT_EQ(std::wstring(HttpErrorMessageW(code)), FromUtf8(HttpErrorMessageA(code))) << code;
}

TEST(HttpErrors, WhatTheUserReadsWhenTheNetworkFails) {
    // These reach the last-error row and the journal's upload lines as they stand.
    EXPECT_STREQ(HttpErrorMessageW(407), L"::HttpSendRequestEx failed.");
    EXPECT_STREQ(HttpErrorMessageW(408), L"::InternetWriteFile failed.");
    EXPECT_STREQ(HttpErrorMessageW(409), L"::HttpEndRequest failed.");
    EXPECT_STREQ(HttpErrorMessageW(401), L"::InternetReadFile failed.");
    auto e = Catch([] { ThrowHttpCodeOs(603, 2, L"C:\\audit.UPLOAD\\Заказ\\фото.jpg"); });
    EXPECT_STREQ(e.Message(), L"OpenFile (::CreateFile) failed (\"C:\\audit.UPLOAD\\Заказ\\фото.jpg\").");
}

TEST(HttpErrors, FiveWaysOfRaising) {
    auto e = Catch([] { ThrowHttpCode(107); });
    EXPECT_STREQ(e.Message(), L"The port number is not valid.");
    EXPECT_EQ(e.ErrorCode(), 107u);
    EXPECT_EQ(e.OsError(), 0u);
    EXPECT_STREQ(e.what(), "httpclientexceptionW");

    e = Catch([] { ThrowHttpCodeOs(605, 5, L"C:\\a.jpg"); });
    EXPECT_STREQ(e.Message(), L"::GetFileSize failed (\"C:\\a.jpg\").");
    EXPECT_EQ(e.OsError(), 5u);
    e = Catch([] { ThrowHttpCodeOs(600, 87); });
    EXPECT_STREQ(e.Message(), L"::WideCharToMultiByte failed.");
    const std::wstring longPath(600, L'x');
    e = Catch([&] { ThrowHttpCodeOs(605, 2, longPath.c_str()); });
    EXPECT_EQ(std::wstring(e.Message()).size(), 511u);

    e = Catch([] { ThrowHttpPrecondition("CHttpToolW::InternetWriteFile: cbyBuff can not be zero."); });
    EXPECT_STREQ(e.Message(), L"CHttpToolW::InternetWriteFile: cbyBuff can not be zero.");
    EXPECT_EQ(e.ErrorCode(), 0u);

    e = Catch([] { ThrowHttpArithmetic(ArithFailure::DivideByZero); });
    EXPECT_EQ(e.ErrorCode(), 113u);
    e = Catch([] { (void)SafeAdd(0xFFFFFFFFu, 1); });
    EXPECT_EQ(e.ErrorCode(), 112u);
    e = Catch([] { ThrowHttpArithmetic(ArithFailure::Other); });
    EXPECT_EQ(e.ErrorCode(), 111u);

    e = Catch([] { ThrowHttpWiden(httpclientexceptionA("::HttpOpenRequest failed.", 404, 12005)); });
    EXPECT_STREQ(e.Message(), L"::HttpOpenRequest failed.");
    EXPECT_EQ(e.ErrorCode(), 404u);
    EXPECT_EQ(e.OsError(), 12005u);
}

TEST(HttpErrors, MessagesAndCopies) {
    httpclientexceptionW none(nullptr, 0, 0);
    EXPECT_STREQ(none.Message(), L"NULL");
    httpclientexceptionW a(L"text", 3, 4);
    httpclientexceptionW b = a;
    a.SetMessage(L"changed");
    EXPECT_STREQ(b.Message(), L"text");
    EXPECT_EQ(b.ErrorCode(), 3u);
    b = b;  // onto itself
    EXPECT_STREQ(b.Message(), L"text");
    errmsg_exceptionW base(L"m");
    EXPECT_STREQ(base.what(), "errmsg_exceptionW");
    httpclientexceptionA narrow("narrow text", 1, 2);
    EXPECT_STREQ(narrow.what(), "narrow text");
    EXPECT_STREQ(httpclientexceptionA().what(), "NULL");
}

TEST(NetErrorWords, TheErrorsPeopleCanActOnAreSaidInWordsWithTheNumberForSupport) {
    EXPECT_EQ(ExplainNetFailure(L"::HttpSendRequest failed.", 12045),
              L"Сертификат сервера выдан неизвестным центром сертификации (ошибка 12045, ::HttpSendRequest failed.)");
    // Each also says whether the server was out of reach (told after 5 minutes) or its certificate
    // refused (told at once), or neither.
    const struct {
        uint32_t code;
        bool unreachable, certificate;
    } kinds[] = {{12002, true, false},  {12007, true, false},  {12029, true, false},  {12030, true, false}, {12031, true, false},
                 {12037, false, true},  {12038, false, true},  {12045, false, true},  {12057, false, true}};
    for (const auto& [code, unreachable, certificate] : kinds) {
        SCOPED_TRACE(code);
        EXPECT_EQ(IsUnreachableError(code), unreachable);
        EXPECT_EQ(IsCertificateError(code), certificate);
        EXPECT_FALSE(NetErrorWords(code).empty());
        EXPECT_NE(ExplainNetFailure(L"m", code).find(L"(ошибка " + std::to_wstring(code) + L", m)"), std::wstring::npos);
    }
    EXPECT_EQ(ExplainNetFailure(L"::InternetReadFile failed.", 5), L"::InternetReadFile failed. (ошибка 5)") << "no words: the number still";
    EXPECT_EQ(ExplainNetFailure(L"Out of memory.", 0), L"Out of memory.");
}
