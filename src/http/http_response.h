// What a finished request gives back: owns the request's three platform handles and reads
// status, headers and content from them on demand, caching status and headers.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "http/call_runner.h"
#include "http/client_map.h"
#include "http/http_tool.h"
#include "http/request_handles.h"

namespace zk {

class CHttpResponseT {
public:
    using Clock = HttpCallRunner::Clock;
    // Reads of the body run on `runner`; each is given up when nothing arrives for `stall` or
    // once `answerDue` has passed. Without a runner they run on the caller's thread, unbounded.
    explicit CHttpResponseT(std::shared_ptr<HttpRequestHandles> handles, std::shared_ptr<HttpCallRunner> runner = nullptr,
                            Clock::time_point answerDue = Clock::time_point::max(), std::chrono::milliseconds stall = std::chrono::hours(1))
        : m_handles(std::move(handles)), m_hRequest(m_handles ? m_handles->request.get() : nullptr), m_runner(std::move(runner)),
          m_answerDue(answerDue), m_stall(stall) {}
    CHttpResponseT(const CHttpResponseT&) = delete;
    CHttpResponseT& operator=(const CHttpResponseT&) = delete;
    // Closes the request, the connection and the internet handle, in that order (unless a read
    // given up still runs: then that read's end closes them).
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

    CHttpClientMapT m_headers;
    std::shared_ptr<HttpRequestHandles> m_handles;
    HttpHandle m_hRequest;  // m_handles->request
    std::shared_ptr<HttpCallRunner> m_runner;
    Clock::time_point m_answerDue;
    std::chrono::milliseconds m_stall;
    // The bytes of a read, owned with the read: one given up may still write into them.
    std::shared_ptr<std::vector<char>> m_block;
    uint32_t m_status = 0;
    std::unique_ptr<wchar_t[]> m_statusText;
    FirstBytesReport m_report;
};

}  // namespace zk
