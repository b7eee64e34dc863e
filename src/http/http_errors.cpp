#include "http/http_errors.h"

#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "base/codepage.h"

namespace zk {
namespace {

template <class C>
C* CopyText(const C* text) noexcept {
    if (!text) return nullptr;
    size_t n = 0;
    while (text[n]) ++n;
    C* p = new (std::nothrow) C[n + 1];
    if (!p) return nullptr;
    std::memcpy(p, text, (n + 1) * sizeof(C));
    return p;
}

struct Texts {
    const char* a;
    const wchar_t* w;
};
#define ZK_T(s) Texts{s, L"" s}

const Texts kCode0[] = {ZK_T("Not specified")};
const Texts kCode100[] = {
    ZK_T("Unexpected error occurred."),
    ZK_T("The index is out of range."),
    ZK_T("Out of memory."),
    ZK_T("The requested URL is not a valid URL."),
    ZK_T("The post context is not started yet."),
    ZK_T("Couldn't read expected bytes from a file."),
    ZK_T("The post context has not been finished yet."),
    ZK_T("The port number is not valid."),
    ZK_T("std::exception occurred."),
    ZK_T("The encoded URL is not valid."),
    ZK_T("The UTF8 string contains an invalid character."),
    ZK_T("An unexpected arithmetic error has been occurred."),
    ZK_T("An arithmetic overflow error has been occurred."),
    ZK_T("An interger divide by zero exception has been occurred."),
    ZK_T("The file (%s) aleady exists."),
};
const Texts kCode200[] = {ZK_T("")};
const Texts kCode400[] = {
    ZK_T("::HttpQueryInfo failed."),        ZK_T("::InternetReadFile failed."),   ZK_T("::InternetOpen failed."),
    ZK_T("::InternetConnect failed."),      ZK_T("::HttpOpenRequest failed."),    ZK_T("::HttpAddRequestHeaders failed."),
    ZK_T("::HttpSendRequest failed."),      ZK_T("::HttpSendRequestEx failed."),  ZK_T("::InternetWriteFile failed."),
    ZK_T("::HttpEndRequest failed."),       ZK_T("::InternetSetOption failed."),
};
const Texts kCode600[] = {
    ZK_T("::WideCharToMultiByte failed."), ZK_T("::MultiByteToWideChar failed."), ZK_T("::ReadFile failed."),
    ZK_T("OpenFile (::CreateFile) failed (\"%s\")."), ZK_T("::SetFilePointer failed."),
    ZK_T("::GetFileSize failed (\"%s\")."), ZK_T("::WriteFile failed (\"%s\")."),
};
const Texts kUser = ZK_T("user-defined error message");
const Texts kUnknown = ZK_T("");
#undef ZK_T

template <size_t N>
const Texts& Pick(const Texts (&table)[N], uint32_t index) {
    return index < N ? table[index] : kUnknown;
}

const Texts& Lookup(uint32_t code) {
    if (code >= 1000) return kUser;
    if (code >= 600) return Pick(kCode600, code % 100);
    if (code >= 400) return Pick(kCode400, code % 100);
    if (code >= 200) return Pick(kCode200, code % 100);
    if (code >= 100) return Pick(kCode100, code % 100);
    return kCode0[0];
}

}  // namespace

template <class Char>
void OwnedText<Char>::Set(const Char* text) noexcept {
    Char* copy = CopyText(text);
    delete[] m_text;
    m_text = copy;
}
template class OwnedText<wchar_t>;
template class OwnedText<char>;

const char* HttpErrorMessageA(uint32_t code) { return Lookup(code).a; }
const wchar_t* HttpErrorMessageW(uint32_t code) { return Lookup(code).w; }

void ThrowHttpCode(uint32_t code) { throw httpclientexceptionW(HttpErrorMessageW(code), code, 0); }

void ThrowHttpCodeOs(uint32_t code, uint32_t osError, const wchar_t* fileName) {
    const wchar_t* text = HttpErrorMessageW(code);
    if (!fileName) throw httpclientexceptionW(text, code, osError);
    // Format into 512 characters: the table text holds one "%s".
    std::wstring out;
    const std::wstring t(text);
    const size_t pos = t.find(L"%s");
    out = pos == std::wstring::npos ? t : t.substr(0, pos) + fileName + t.substr(pos + 2);
    if (out.size() > 511) out.resize(511);
    throw httpclientexceptionW(out.c_str(), code, osError);
}

void ThrowHttpPrecondition(const char* text) {
    std::wstring wide;
    if (!text || !CodePageToWide(kCodePageAnsi, text, wide)) throw httpclientexceptionW(nullptr, 0, 0);
    throw httpclientexceptionW(wide.c_str(), 0, 0);
}

void ThrowHttpPreconditionA(const char* text) { throw httpclientexceptionA(text, 0, 0); }

void ThrowHttpArithmetic(ArithFailure kind) {
    switch (kind) {
        case ArithFailure::Overflow: ThrowHttpCode(kHttpErrOverflow);
        case ArithFailure::DivideByZero: ThrowHttpCode(kHttpErrDivideByZero);
        default: ThrowHttpCode(kHttpErrArithmetic);
    }
}

void ThrowHttpWiden(const httpclientexceptionA& e) {
    std::wstring wide;
    if (!CodePageToWide(kCodePageAnsi, e.Message(), wide)) throw httpclientexceptionW(nullptr, e.ErrorCode(), e.OsError());
    throw httpclientexceptionW(wide.c_str(), e.ErrorCode(), e.OsError());
}

}  // namespace zk
