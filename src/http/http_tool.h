// The tool layer: static operations that check their arguments, make one platform call (or a
// short fixed sequence), and turn a failure into the client's exception with its code and the
// OS error. It holds no state and never closes a handle it was given. Request-line and header
// texts go to the platform as narrow text in the client's code page (CHttpToolA).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "base/unique_handle.h"
#include "http/http_platform.h"

namespace zk {

using HttpHandle = net::Handle;
using HttpFileHandle = net::FileHandle;

class CHttpToolA {
public:
    static HttpHandle OpenRequest(HttpHandle hConnection, const char* szObjectName, const char* szVerb, uint32_t flags,
                                  const char* szReferer);
    // Sends name ": " value "\r\n" (a null value counts as empty) with the add modifier alone.
    static void AddHeader(HttpHandle hRequest, const char* szName, const char* szValue);
};

class CHttpToolW {
public:
    // New narrow text in `codePage`, or null for a null text.
    static std::unique_ptr<char[]> Unicode2Ansi(unsigned codePage, const wchar_t* text);
    // New wide text from the system ANSI code page, or null for a null text.
    static std::unique_ptr<wchar_t[]> Ansi2Unicode(const char* text);

    static HttpHandle OpenInternet(const wchar_t* agent, uint32_t accessType, const wchar_t* proxy, const wchar_t* bypass,
                                   uint32_t flags);
    static HttpHandle OpenConnection(HttpHandle hInternet, const wchar_t* szServerAddr, uint16_t port);
    static HttpHandle OpenRequest(HttpHandle hConnection, const wchar_t* szObjectName, const wchar_t* szVerb, uint32_t flags,
                                  unsigned codePage);
    static void AddHeader(HttpHandle hRequest, const wchar_t* szName, const wchar_t* szValue, unsigned codePage);
    static void SendRequest(HttpHandle hRequest, unsigned codePage);
    static void SendRequestEx(HttpHandle hRequest, uint32_t totalLength);
    // Loops until the platform has taken the whole count.
    static void InternetWriteFile(HttpHandle hRequest, const void* pbyBuff, uint32_t cbyBuff);
    // One platform write: false on failure, else the count taken in `written`.
    using WriteStep = std::function<bool(const void* bytes, uint32_t count, uint32_t& written)>;
    // The loop of InternetWriteFile over any write: a write that takes nothing (or claims more
    // than it was given) fails with 408 instead of being tried for ever.
    static void WriteWhole(const WriteStep& write, const void* pbyBuff, uint32_t cbyBuff);
    static void EndRequest(HttpHandle hRequest);
    // INVALID when the file cannot be opened; raises nothing then.
    static HttpFileHandle OpenFile(const wchar_t* szFilePath);
    static uint32_t GetFileSize(HttpFileHandle hFile, const wchar_t* szFilePath);
    // Size, write time and file id of the open file; false (and `identity` all zero) when unknown.
    static bool GetFileIdentity(HttpFileHandle hFile, FileIdentity& identity);
    // Sniffed from the first 256 bytes (the position goes back to the start), or
    // "application/octet-stream".
    static std::unique_ptr<char[]> GetMimeType(HttpFileHandle hFile, unsigned codePage);
    static std::unique_ptr<wchar_t[]> GetStatusText(HttpHandle hRequest);
    // The occurrence *index of a response header (0 when index is null), or null when absent.
    static std::unique_ptr<wchar_t[]> GetHeader(HttpHandle hRequest, const wchar_t* szName, uint32_t* index);

    // Platform reads used by the response and the client.
    static uint32_t QueryStatusCode(HttpHandle hRequest);
    // 0 when the response has no Content-Length.
    static uint32_t QueryContentLength(HttpHandle hRequest);
    static uint32_t ReadContent(HttpHandle hRequest, void* buffer, uint32_t size);
    // Exactly `size` bytes or less at the end of the file; raises 602.
    static uint32_t ReadFile(HttpFileHandle hFile, void* buffer, uint32_t size);
    static void CloseHandle(HttpHandle h);
    static void CloseFile(HttpFileHandle hFile);
};

// An open file of an upload, closed when its owner goes (both platforms' "none" is -1).
using UniqueHttpFile = UniqueHandle<HttpFileHandle, &CHttpToolW::CloseFile, intptr_t{-1}>;

}  // namespace zk
