// What a finished request gives back: owns the request's three platform handles and reads
// status, headers and content from them on demand, caching status and headers.
#pragma once
#include <cstdint>
#include <memory>

#include "http/client_map.h"
#include "http/http_tool.h"

namespace zk {

class CHttpResponseT {
public:
    CHttpResponseT(HttpHandle hInternet, HttpHandle hConnection, HttpHandle hRequest)
        : m_hInternet(hInternet), m_hConnection(hConnection), m_hRequest(hRequest) {}
    CHttpResponseT(const CHttpResponseT&) = delete;
    CHttpResponseT& operator=(const CHttpResponseT&) = delete;
    // Closes the request, the connection and the internet handle, in that order.
    virtual ~CHttpResponseT();

    uint32_t GetStatus();
    const wchar_t* GetStatusText();
    // The first value of the header, or null when the response has none.
    const wchar_t* GetHeader(const wchar_t* szName);
    // 0 when the response has no Content-Length.
    uint32_t GetContentLength();
    // Up to `size` body bytes; 0 means the body is complete.
    uint32_t ReadContent(void* buffer, uint32_t size);

private:
    uint32_t _LoadHeader(const wchar_t* szName);

    CHttpClientMapT m_headers;
    HttpHandle m_hInternet;
    HttpHandle m_hConnection;
    HttpHandle m_hRequest;
    uint32_t m_status = 0;
    std::unique_ptr<wchar_t[]> m_statusText;
};

}  // namespace zk
