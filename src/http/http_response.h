// What a finished request gives back: owns the request's three platform handles and reads
// status, headers and content from them on demand, caching status and headers.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>

#include "http/client_map.h"
#include "http/http_tool.h"

namespace zk {

// The internet handle a client has in use, so that another thread can abort its request.
// Shared by the client and the responses it hands out; m_mutex guards both fields.
class HttpAbortGate {
public:
    // False (the request must not go ahead) once aborted.
    bool Register(HttpHandle internet);
    // Forgets the handle before its owner closes it.
    void Release(HttpHandle internet);
    // Any thread: the registered request fails at once; later ones are refused.
    void Abort();
    void Clear();

private:
    mutable std::mutex m_mutex;
    HttpHandle m_current = nullptr;
    bool m_aborted = false;
};

class CHttpResponseT {
public:
    CHttpResponseT(HttpHandle hInternet, HttpHandle hConnection, HttpHandle hRequest, std::shared_ptr<HttpAbortGate> gate = nullptr)
        : m_hInternet(hInternet), m_hConnection(hConnection), m_hRequest(hRequest), m_gate(std::move(gate)) {}
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
    std::shared_ptr<HttpAbortGate> m_gate;
    uint32_t m_status = 0;
    std::unique_ptr<wchar_t[]> m_statusText;
};

}  // namespace zk
