// The platform's HTTP, file, content-sniffing and GUID calls that the tool layer makes, one
// function per call. Windows: WinINet, kernel32 and urlmon (http_platform_win.cpp). Natively:
// a minimal HTTP/1.1 client over sockets with the same handles-and-steps shape
// (http_platform_posix.cpp): one internet, connection and request handle per request, the body
// announced by its length and written in pieces, status and headers readable afterwards.
// Every function reports failure by its result; LastError() then gives the platform's number.
#pragma once
#include <cstdint>
#include <string>

#include "base/file_identity.h"

namespace zk::net {

using Handle = void*;      // internet, connection or request handle
using FileHandle = void*;  // InvalidFile() when no file is open
FileHandle InvalidFile();

uint32_t LastError();

Handle InternetOpen(const wchar_t* agent, uint32_t accessType, const wchar_t* proxy, const wchar_t* bypass, uint32_t flags);
// Time-outs of a request, in milliseconds (0 leaves the platform's own). Send and receive
// count from the last progress of one socket operation, not from the start of the request.
// WinINet: its connect, send and receive options on the request handle.
bool SetTimeouts(Handle request, uint32_t connectMs, uint32_t sendMs, uint32_t receiveMs);
// The error a time-out gives (WinINet's ERROR_INTERNET_TIMEOUT).
uint32_t TimeoutError();
Handle InternetConnect(Handle internet, const wchar_t* server, uint16_t port);
// Verb, object name and "HTTP/1.1", the accept list "*/*", the given flags.
Handle HttpOpenRequestA(Handle connection, const char* verb, const char* objectName, const char* referrer, uint32_t flags);
// One header line (name ": " value "\r\n"), added with the add modifier alone.
bool HttpAddRequestHeadersA(Handle request, const char* line, uint32_t length);
bool HttpSendRequest(Handle request);
bool HttpSendRequestEx(Handle request, uint32_t totalLength);
bool InternetWriteFile(Handle request, const void* bytes, uint32_t count, uint32_t* written);
bool HttpEndRequest(Handle request);
bool QueryStatusCode(Handle request, uint32_t& code);
bool QueryStatusText(Handle request, std::wstring& text);
enum class HeaderQuery { Found, NotFound, Failed };
// The occurrence `*index` of a response header; on success `*index` moves to the next one.
HeaderQuery QueryHeader(Handle request, const wchar_t* name, uint32_t* index, std::wstring& value);
// False with LastError() == HeaderNotFoundError() when the response has no Content-Length.
bool QueryContentLength(Handle request, uint32_t& length);
uint32_t HeaderNotFoundError();
bool InternetReadFile(Handle request, void* buffer, uint32_t size, uint32_t* read);
bool InternetCloseHandle(Handle h);
// Internet, connection and request handles given out and not yet closed (leak checks).
int LiveHandleCount();
// From any thread: makes every request opened under this internet handle fail at once, also one
// blocked waiting for a server that does not answer, and refuses new ones. True when that
// closed the internet handle and its connection and request (WinINet's way): their owner must
// not close them again, only forget them (ForgetClosed); false when the owner closes them.
bool AbortInternet(Handle internet);
// A handle closed with its parent by AbortInternet: no longer counted as open.
void ForgetClosed(Handle h);
// The next request opens a connection of its own instead of taking an idle kept-alive one.
// WinINet: its settings-changed notice, on which Wine's drops its idle connections (process-wide;
// connections in use stay). Windows documents no such effect: there a "fresh" upload may still
// reuse a connection, which changes nothing but the choice's measure. The socket twin keeps no
// connection after a request, so there it does nothing.
void DropIdleConnections();

// Files: opened for reading, sequential scan; shared for reading and for deletion (a file being
// sent can be deleted or renamed, but not written).
FileHandle OpenFileForRead(const wchar_t* path);
// Size, write time, volume and file number of the open file.
bool FileIdentityOf(FileHandle file, FileIdentity& identity);
// The size; false when the query fails or the size does not fit 32 bits.
bool FileSize32(FileHandle file, uint32_t& size);
bool ReadFile(FileHandle file, void* buffer, uint32_t size, uint32_t* read);
bool RewindFile(FileHandle file);
void CloseFile(FileHandle file);

// Content sniffing over the first bytes of a file; false when the type cannot be told.
bool FindMimeFromData(const void* bytes, uint32_t size, std::wstring& mime);

struct Guid {
    uint32_t data1;
    uint16_t data2, data3;
    uint8_t data4[8];
};
bool CreateGuid(Guid& guid);

}  // namespace zk::net
