// WinINet, kernel32 files, urlmon content sniffing and CoCreateGuid: one call per function.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <urlmon.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

// The platform header names these as macros; our functions of the same names wrap them.
#undef InternetOpen
#undef InternetConnect
#undef HttpSendRequest
#undef HttpSendRequestEx
#undef HttpEndRequest

#include "http/http_platform.h"

namespace zk::net {
namespace {
std::atomic<int> g_live{0};
Handle Counted(HINTERNET h) {
    if (h) ++g_live;
    return h;
}
}  // namespace

int LiveHandleCount() { return g_live.load(); }

FileHandle InvalidFile() { return INVALID_HANDLE_VALUE; }
uint32_t LastError() { return GetLastError(); }
uint32_t HeaderNotFoundError() { return ERROR_HTTP_HEADER_NOT_FOUND; }

Handle InternetOpen(const wchar_t* agent, uint32_t accessType, const wchar_t* proxy, const wchar_t* bypass, uint32_t flags) {
    return Counted(::InternetOpenW(agent, accessType, proxy, bypass, flags));
}

bool SetTimeouts(Handle request, uint32_t connectMs, uint32_t sendMs, uint32_t receiveMs) {
    bool ok = true;
    for (auto [option, ms] : {std::pair{INTERNET_OPTION_CONNECT_TIMEOUT, connectMs}, std::pair{INTERNET_OPTION_SEND_TIMEOUT, sendMs},
                              std::pair{INTERNET_OPTION_RECEIVE_TIMEOUT, receiveMs}}) {
        if (ms == 0) continue;
        DWORD value = ms;
        ok = ::InternetSetOptionW(static_cast<HINTERNET>(request), option, &value, sizeof value) && ok;
    }
    return ok;
}

uint32_t TimeoutError() { return ERROR_INTERNET_TIMEOUT; }

Handle InternetConnect(Handle internet, const wchar_t* server, uint16_t port) {
    return Counted(::InternetConnectW(static_cast<HINTERNET>(internet), server, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
}

Handle HttpOpenRequestA(Handle connection, const char* verb, const char* objectName, const char* referrer, uint32_t flags) {
    const char* accept[] = {"*/*", nullptr};
    return Counted(::HttpOpenRequestA(static_cast<HINTERNET>(connection), verb, objectName, "HTTP/1.1", referrer, accept, flags, 0));
}

bool HttpAddRequestHeadersA(Handle request, const char* line, uint32_t length) {
    return ::HttpAddRequestHeadersA(static_cast<HINTERNET>(request), line, length, HTTP_ADDREQ_FLAG_ADD) != FALSE;
}

bool HttpSendRequest(Handle request) { return ::HttpSendRequestW(static_cast<HINTERNET>(request), nullptr, 0, nullptr, 0) != FALSE; }

bool HttpSendRequestEx(Handle request, uint32_t totalLength) {
    INTERNET_BUFFERSW buffers = {};
    buffers.dwStructSize = sizeof(buffers);
    buffers.dwBufferTotal = totalLength;
    return ::HttpSendRequestExW(static_cast<HINTERNET>(request), &buffers, nullptr, 0, 0) != FALSE;
}

bool InternetWriteFile(Handle request, const void* bytes, uint32_t count, uint32_t* written) {
    DWORD n = 0;
    const BOOL ok = ::InternetWriteFile(static_cast<HINTERNET>(request), bytes, count, &n);
    *written = n;
    return ok != FALSE;
}

bool HttpEndRequest(Handle request) { return ::HttpEndRequestW(static_cast<HINTERNET>(request), nullptr, 0, 0) != FALSE; }

bool QueryStatusCode(Handle request, uint32_t& code) {
    DWORD value = 0, size = sizeof(value);
    if (!::HttpQueryInfoW(static_cast<HINTERNET>(request), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr))
        return false;
    code = value;
    return true;
}

bool QueryStatusText(Handle request, std::wstring& text) {
    DWORD bytes = 0;
    ::HttpQueryInfoW(static_cast<HINTERNET>(request), HTTP_QUERY_STATUS_TEXT, nullptr, &bytes, nullptr);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    std::vector<wchar_t> buf(bytes / sizeof(wchar_t) + 1);
    if (!::HttpQueryInfoW(static_cast<HINTERNET>(request), HTTP_QUERY_STATUS_TEXT, buf.data(), &bytes, nullptr)) return false;
    text.assign(buf.data(), bytes / sizeof(wchar_t));
    return true;
}

HeaderQuery QueryHeader(Handle request, const wchar_t* name, uint32_t* index, std::wstring& value) {
    // The custom-header query takes the name in the buffer.
    const size_t nameLen = wcslen(name);
    DWORD idx = index ? *index : 0;
    const DWORD remembered = idx;
    std::vector<wchar_t> buf(nameLen + 1);
    wcscpy(buf.data(), name);
    DWORD bytes = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
    if (::HttpQueryInfoW(static_cast<HINTERNET>(request), HTTP_QUERY_CUSTOM, buf.data(), &bytes, &idx)) {
        value.assign(buf.data(), bytes / sizeof(wchar_t));
        if (index) *index = idx;
        return HeaderQuery::Found;
    }
    const DWORD err = GetLastError();
    idx = remembered;
    if (err == ERROR_HTTP_HEADER_NOT_FOUND) return HeaderQuery::NotFound;
    if (err != ERROR_INSUFFICIENT_BUFFER) return HeaderQuery::Failed;
    buf.assign(bytes / sizeof(wchar_t) + nameLen + 1, L'\0');
    wcscpy(buf.data(), name);
    bytes = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
    if (!::HttpQueryInfoW(static_cast<HINTERNET>(request), HTTP_QUERY_CUSTOM, buf.data(), &bytes, &idx)) return HeaderQuery::Failed;
    value.assign(buf.data(), bytes / sizeof(wchar_t));
    if (index) *index = idx;
    return HeaderQuery::Found;
}

bool QueryContentLength(Handle request, uint32_t& length) {
    DWORD value = 0, size = sizeof(value);
    if (!::HttpQueryInfoW(static_cast<HINTERNET>(request), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr))
        return false;
    length = value;
    return true;
}

// No more than has arrived: a read for more waits until the buffer is full (Wine's does), and
// a server that trickles its answer would then keep the caller past any bound it checks
// between reads.
bool InternetReadFile(Handle request, void* buffer, uint32_t size, uint32_t* read) {
    *read = 0;
    DWORD available = 0;
    if (!::InternetQueryDataAvailable(static_cast<HINTERNET>(request), &available, 0, 0)) return false;
    if (available == 0 || size == 0) return true;  // the end of the body
    DWORD n = 0;
    const BOOL ok = ::InternetReadFile(static_cast<HINTERNET>(request), buffer, std::min<DWORD>(size, available), &n);
    *read = n;
    return ok != FALSE;
}

bool InternetCloseHandle(Handle h) {
    if (!h) return false;
    --g_live;
    return ::InternetCloseHandle(static_cast<HINTERNET>(h)) != FALSE;
}

// Closing the internet handle is WinINet's way to end a blocking call of another thread: the
// call returns with an error at once, and the handle's connection and request are closed too.
bool AbortInternet(Handle internet) { return internet && ::InternetCloseHandle(static_cast<HINTERNET>(internet)) != FALSE; }

void ForgetClosed(Handle h) {
    if (h) --g_live;
}

void DropIdleConnections() { ::InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0); }

FileHandle OpenFileForRead(const wchar_t* path) {
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool FileIdentityOf(FileHandle file, FileIdentity& identity) { return file != INVALID_HANDLE_VALUE && IdentityOfHandle(file, identity); }

bool FileSize32(FileHandle file, uint32_t& size) {
    LARGE_INTEGER li = {};
    if (!GetFileSizeEx(file, &li)) return false;
    if (li.QuadPart > 0xFFFFFFFFLL) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    size = static_cast<uint32_t>(li.QuadPart);
    return true;
}

bool ReadFile(FileHandle file, void* buffer, uint32_t size, uint32_t* read) {
    DWORD n = 0;
    const BOOL ok = ::ReadFile(file, buffer, size, &n, nullptr);
    *read = n;
    return ok != FALSE;
}

bool RewindFile(FileHandle file) { return SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER; }

void CloseFile(FileHandle file) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

bool FindMimeFromData(const void* bytes, uint32_t size, std::wstring& mime) {
    LPWSTR found = nullptr;
    const HRESULT hr = ::FindMimeFromData(nullptr, nullptr, const_cast<void*>(bytes), size, nullptr, 0, &found, 0);
    if (FAILED(hr) || !found) return false;
    mime = found;
    CoTaskMemFree(found);
    return true;
}

bool CreateGuid(Guid& guid) {
    GUID g;
    if (FAILED(CoCreateGuid(&g))) return false;
    guid.data1 = g.Data1;
    guid.data2 = g.Data2;
    guid.data3 = g.Data3;
    for (int i = 0; i < 8; ++i) guid.data4[i] = g.Data4[i];
    return true;
}

}  // namespace zk::net
