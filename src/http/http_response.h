// What a finished request gives back: owns the request's three platform handles and reads
// status, headers and content from them on demand, caching status and headers.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "http/answer_watch.h"
#include "http/client_map.h"
#include "http/http_tool.h"
#include "http/request_handles.h"

namespace zk {

class CHttpResponseT {
public:
    // With `watch`, every read fails with the platform's time-out once its bound has passed.
    explicit CHttpResponseT(HttpRequestHandles handles, std::unique_ptr<HttpAnswerWatch> watch = nullptr)
        : m_handles(std::move(handles)), m_hRequest(m_handles.request.get()), m_watch(std::move(watch)) {}
    CHttpResponseT(const CHttpResponseT&) = delete;
    CHttpResponseT& operator=(const CHttpResponseT&) = delete;
    // Closes the request, the connection and the internet handle, in that order.
    virtual ~CHttpResponseT() = default;

    uint32_t GetStatus();
    const wchar_t* GetStatusText();
    // The first value of the header, or null when the response has none.
    const wchar_t* GetHeader(const wchar_t* szName);
    // 0 when the response has no Content-Length.
    uint32_t GetContentLength();
    // Up to `size` body bytes; 0 means the body is complete.
    uint32_t ReadContent(void* buffer, uint32_t size);
    // Called once, after the first read: how long that read waited for the body. Only the wait
    // itself counts: what the caller did after the head arrived hid that much of any lag.
    using FirstBytesReport = std::function<void(std::chrono::steady_clock::duration wait)>;
    void ReportFirstBytes(FirstBytesReport report) { m_report = std::move(report); }

private:
    uint32_t _LoadHeader(const wchar_t* szName);
    // Before a platform call (the handles may be closed already) and after it (what an aborted
    // call returned is not the answer).
    void _CheckDeadline(uint32_t code) const {
        if (m_watch) m_watch->Check(code);
    }

    CHttpClientMapT m_headers;
    HttpRequestHandles m_handles;
    HttpHandle m_hRequest;  // m_handles.request
    uint32_t m_status = 0;
    std::unique_ptr<wchar_t[]> m_statusText;
    std::unique_ptr<HttpAnswerWatch> m_watch;  // after m_handles: stopped before they close
    FirstBytesReport m_report;
};

}  // namespace zk
