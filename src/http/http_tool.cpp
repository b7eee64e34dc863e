#include "http/http_tool.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "base/codepage.h"
#include "http/http_errors.h"
#include "http/safe_int.h"

namespace zk {
namespace {

bool Utf(unsigned cp) { return cp == kCodePageUtf8 || cp == kCodePageUtf7; }

template <class C>
std::unique_ptr<C[]> Copy(const std::basic_string<C>& s) {
    auto p = std::make_unique<C[]>(s.size() + 1);
    std::memcpy(p.get(), s.c_str(), (s.size() + 1) * sizeof(C));
    return p;
}

}  // namespace

// ---- narrow face ----

HttpHandle CHttpToolA::OpenRequest(HttpHandle hConnection, const char* szObjectName, const char* szVerb, uint32_t flags,
                                   const char* szReferer) {
    if (!hConnection) ThrowHttpPreconditionA("CHttpToolA::OpenRequest: hConnection can not be NULL.");
    if (!szObjectName) ThrowHttpPreconditionA("CHttpToolA::OpenRequest: szObjectName can not be NULL.");
    if (!*szObjectName) ThrowHttpPreconditionA("CHttpToolA::OpenRequest: szObjectName can not be an empty string.");
    HttpHandle h = net::HttpOpenRequestA(hConnection, szVerb, szObjectName, szReferer, flags);
    if (!h) throw httpclientexceptionA(HttpErrorMessageA(kHttpErrOpenRequest), kHttpErrOpenRequest, net::LastError());
    return h;
}

void CHttpToolA::AddHeader(HttpHandle hRequest, const char* szName, const char* szValue) {
    if (!hRequest) ThrowHttpPreconditionA("CHttpToolA::AddHeader: hRequest can not be NULL.");
    if (!szName) ThrowHttpPreconditionA("CHttpToolA::AddHeader: szName can not be NULL.");
    std::string line;
    try {
        const uint32_t len = SafeAdd(SafeAdd(SafeLen(std::strlen(szName)), 4), SafeLen(szValue ? std::strlen(szValue) : 0));
        line.reserve(len);
    } catch (const httpclientexceptionW& e) {
        throw httpclientexceptionA(HttpErrorMessageA(e.ErrorCode()), e.ErrorCode(), 0);
    } catch (const std::bad_alloc&) {
        throw httpclientexceptionA(HttpErrorMessageA(kHttpErrOutOfMemory), kHttpErrOutOfMemory, 0);
    }
    line.append(szName).append(": ").append(szValue ? szValue : "").append("\r\n");
    if (!net::HttpAddRequestHeadersA(hRequest, line.c_str(), static_cast<uint32_t>(line.size())))
        throw httpclientexceptionA(HttpErrorMessageA(kHttpErrAddHeaders), kHttpErrAddHeaders, net::LastError());
}

// ---- wide face ----

std::unique_ptr<char[]> CHttpToolW::Unicode2Ansi(unsigned codePage, const wchar_t* text) {
    if (Utf(codePage)) ThrowHttpPrecondition("CHttpToolW::Unicode2Ansi: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
    if (!text) return nullptr;
    std::string out;
    uint32_t err = 0;
    if (!WideToCodePage(codePage, text, out, &err)) ThrowHttpCodeOs(kHttpErrWideToMulti, err);
    return Copy(out);
}

std::unique_ptr<wchar_t[]> CHttpToolW::Ansi2Unicode(const char* text) {
    if (!text) return nullptr;
    std::wstring out;
    uint32_t err = 0;
    if (!CodePageToWide(kCodePageAnsi, text, out, &err)) ThrowHttpCodeOs(kHttpErrMultiToWide, err);
    return Copy(out);
}

HttpHandle CHttpToolW::OpenInternet(const wchar_t* agent, uint32_t accessType, const wchar_t* proxy, const wchar_t* bypass,
                                    uint32_t flags) {
    HttpHandle h = net::InternetOpen(agent, accessType, proxy, bypass, flags);
    if (!h) ThrowHttpCodeOs(kHttpErrOpen, net::LastError());
    return h;
}

HttpHandle CHttpToolW::OpenConnection(HttpHandle hInternet, const wchar_t* szServerAddr, uint16_t port) {
    if (!hInternet) ThrowHttpPrecondition("CHttpToolW::OpenConnection: hInternet can not be NULL.");
    if (!szServerAddr) ThrowHttpPrecondition("CHttpToolW::OpenConnection: szServerAddr can not be NULL.");
    if (!*szServerAddr) ThrowHttpPrecondition("CHttpToolW::OpenConnection: szServerAddr can not be an empty string.");
    HttpHandle h = net::InternetConnect(hInternet, szServerAddr, port);
    if (!h) ThrowHttpCodeOs(kHttpErrConnect, net::LastError());
    return h;
}

HttpHandle CHttpToolW::OpenRequest(HttpHandle hConnection, const wchar_t* szObjectName, const wchar_t* szVerb, uint32_t flags,
                                   unsigned codePage) {
    if (!hConnection) ThrowHttpPrecondition("CHttpToolW::OpenRequest: hConnection can not be NULL.");
    if (!szObjectName) ThrowHttpPrecondition("CHttpToolW::OpenRequest: szObjectName can not be NULL.");
    if (!*szObjectName) ThrowHttpPrecondition("CHttpToolW::OpenRequest: szObjectName can not be an empty string.");
    if (Utf(codePage)) ThrowHttpPrecondition("CHttpToolW::OpenRequest: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
    const auto verb = Unicode2Ansi(codePage, szVerb);
    const auto object = Unicode2Ansi(codePage, szObjectName);
    const auto referer = Unicode2Ansi(codePage, nullptr);
    try {
        return CHttpToolA::OpenRequest(hConnection, object.get(), verb.get(), flags, referer.get());
    } catch (const httpclientexceptionA& e) {
        ThrowHttpWiden(e);
    }
}

void CHttpToolW::AddHeader(HttpHandle hRequest, const wchar_t* szName, const wchar_t* szValue, unsigned codePage) {
    if (!hRequest) ThrowHttpPrecondition("CHttpToolW::AddHeader: hRequest can not be NULL.");
    if (!szName) ThrowHttpPrecondition("CHttpToolW::AddHeader: szName can not be NULL.");
    if (Utf(codePage)) ThrowHttpPrecondition("CHttpToolW::AddHeader: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
    const auto name = Unicode2Ansi(codePage, szName);
    const auto value = Unicode2Ansi(codePage, szValue);
    try {
        CHttpToolA::AddHeader(hRequest, name.get(), value.get());
    } catch (const httpclientexceptionA& e) {
        ThrowHttpWiden(e);
    }
}

void CHttpToolW::SendRequest(HttpHandle hRequest, unsigned codePage) {
    if (!hRequest) ThrowHttpPrecondition("CHttpToolW::SendRequest: hRequest can not be NULL.");
    if (Utf(codePage)) ThrowHttpPrecondition("CHttpToolW::SendRequest: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
    if (!net::HttpSendRequest(hRequest)) ThrowHttpCodeOs(kHttpErrSendRequest, net::LastError());
}

void CHttpToolW::SendRequestEx(HttpHandle hRequest, uint32_t totalLength) {
    if (!hRequest) ThrowHttpPrecondition("CHttpToolW::SendRequestEx: hRequest can not be NULL.");
    if (!net::HttpSendRequestEx(hRequest, totalLength)) ThrowHttpCodeOs(kHttpErrSendRequestEx, net::LastError());
}

void CHttpToolW::InternetWriteFile(HttpHandle hRequest, const void* pbyBuff, uint32_t cbyBuff) {
    if (!hRequest) ThrowHttpPrecondition("CHttpToolW::InternetWriteFile: hRequest can not be NULL.");
    if (!pbyBuff) ThrowHttpPrecondition("CHttpToolW::InternetWriteFile: pbyBuff can not be NULL.");
    if (cbyBuff == 0) ThrowHttpPrecondition("CHttpToolW::InternetWriteFile: cbyBuff can not be zero.");
    WriteWhole([hRequest](const void* bytes, uint32_t count, uint32_t& written) { return net::InternetWriteFile(hRequest, bytes, count, &written); },
               pbyBuff, cbyBuff);
}

void CHttpToolW::WriteWhole(const WriteStep& write, const void* pbyBuff, uint32_t cbyBuff) {
    const auto* p = static_cast<const char*>(pbyBuff);
    uint32_t left = cbyBuff;
    while (left > 0) {
        uint32_t written = 0;
        if (!write(p, left, written)) ThrowHttpCodeOs(kHttpErrWriteFile, net::LastError());
        // A write that reports success but takes nothing would be repeated for ever.
        if (written == 0 || written > left) ThrowHttpCodeOs(kHttpErrWriteFile, 0);
        p += written;
        left -= written;
    }
}

void CHttpToolW::EndRequest(HttpHandle hRequest) {
    if (!hRequest) ThrowHttpPrecondition("CHttpToolW::EndRequest: hRequest can not be NULL.");
    if (!net::HttpEndRequest(hRequest)) ThrowHttpCodeOs(kHttpErrEndRequest, net::LastError());
}

HttpFileHandle CHttpToolW::OpenFile(const wchar_t* szFilePath) {
    if (!szFilePath) ThrowHttpPrecondition("CHttpToolW::OpenFile: szFilePath can not be NULL.");
    return net::OpenFileForRead(szFilePath);
}

uint32_t CHttpToolW::GetFileSize(HttpFileHandle hFile, const wchar_t* szFilePath) {
    if (!hFile) ThrowHttpPrecondition("CHttpToolW::GetFileSize: hFile can not be NULL.");
    if (!szFilePath) ThrowHttpPrecondition("CHttpToolW::GetFileSize: szFilePath can not be NULL.");
    uint32_t size = 0;
    // A file of 4 GiB or more fails here instead of being sent cut to its low 32 bits.
    if (!net::FileSize32(hFile, size)) ThrowHttpCodeOs(kHttpErrFileSize, net::LastError(), szFilePath);
    return size;
}

bool CHttpToolW::GetFileIdentity(HttpFileHandle hFile, FileIdentity& identity) {
    identity = {};
    if (!hFile || hFile == net::InvalidFile()) return false;
    if (net::FileIdentityOf(hFile, identity)) return true;
    identity = {};
    return false;
}

std::unique_ptr<char[]> CHttpToolW::GetMimeType(HttpFileHandle hFile, unsigned codePage) {
    if (!hFile) ThrowHttpPrecondition("CHttpToolW::GetMimeType: hFile can not be NULL.");
    if (Utf(codePage)) ThrowHttpPrecondition("CHttpToolW::GetMimeType: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
    static const std::string kFallback = "application/octet-stream";
    if (hFile == net::InvalidFile()) return Copy(kFallback);
    unsigned char head[256];
    uint32_t read = 0;
    if (!net::ReadFile(hFile, head, sizeof head, &read)) ThrowHttpCodeOs(kHttpErrFileRead, net::LastError());
    if (!net::RewindFile(hFile)) ThrowHttpCodeOs(kHttpErrSetFilePointer, net::LastError());
    std::wstring mime;
    if (!net::FindMimeFromData(head, read, mime)) return Copy(kFallback);
    return Unicode2Ansi(codePage, mime.c_str());
}

std::unique_ptr<wchar_t[]> CHttpToolW::GetStatusText(HttpHandle hRequest) {
    if (!hRequest) ThrowHttpPrecondition("CHttpToolW::GetStatusText: hRequest can not be NULL.");
    std::wstring text;
    if (!net::QueryStatusText(hRequest, text)) ThrowHttpCodeOs(kHttpErrQueryInfo, net::LastError());
    return Copy(text);
}

std::unique_ptr<wchar_t[]> CHttpToolW::GetHeader(HttpHandle hRequest, const wchar_t* szName, uint32_t* index) {
    if (!hRequest) ThrowHttpPrecondition("CHttpToolW::GetHeader: hRequest can not be NULL.");
    if (!szName) ThrowHttpPrecondition("CHttpToolW::GetHeader: szName can not be NULL.");
    uint32_t local = 0;
    uint32_t* idx = index ? index : &local;
    const uint32_t remembered = *idx;
    std::wstring value;
    switch (net::QueryHeader(hRequest, szName, idx, value)) {
        case net::HeaderQuery::Found: return Copy(value);
        case net::HeaderQuery::NotFound: *idx = remembered; return nullptr;
        default: break;
    }
    const uint32_t err = net::LastError();
    *idx = remembered;
    ThrowHttpCodeOs(kHttpErrQueryInfo, err);
}

uint32_t CHttpToolW::QueryStatusCode(HttpHandle hRequest) {
    uint32_t code = 0;
    if (!net::QueryStatusCode(hRequest, code)) ThrowHttpCodeOs(kHttpErrQueryInfo, net::LastError());
    // No status line arrived (Wine's WinINet ends a request whose connection was reset, or whose
    // answer timed out, as if it had been answered): a failed query, not an answer.
    if (code == 0) ThrowHttpCodeOs(kHttpErrQueryInfo, 0);
    return code;
}

uint32_t CHttpToolW::QueryContentLength(HttpHandle hRequest) {
    uint32_t length = 0;
    if (net::QueryContentLength(hRequest, length)) return length;
    const uint32_t err = net::LastError();
    if (err == net::HeaderNotFoundError()) return 0;
    ThrowHttpCodeOs(kHttpErrQueryInfo, err);
}

uint32_t CHttpToolW::ReadContent(HttpHandle hRequest, void* buffer, uint32_t size) {
    uint32_t read = 0;
    if (!net::InternetReadFile(hRequest, buffer, size, &read)) ThrowHttpCodeOs(kHttpErrReadFile, net::LastError());
    return read;
}

uint32_t CHttpToolW::ReadFile(HttpFileHandle hFile, void* buffer, uint32_t size) {
    uint32_t read = 0;
    if (!net::ReadFile(hFile, buffer, size, &read)) ThrowHttpCodeOs(kHttpErrFileRead, net::LastError());
    return read;
}

void CHttpToolW::CloseHandle(HttpHandle h) {
    if (h) net::InternetCloseHandle(h);
}

void CHttpToolW::CloseFile(HttpFileHandle hFile) { net::CloseFile(hFile); }

}  // namespace zk
