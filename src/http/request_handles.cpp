#include "http/request_handles.h"

#include <algorithm>
#include <utility>

#include "http/http_errors.h"
#include "http/http_platform.h"

namespace zk {

void HttpRequestHandles::Abort() {
    std::lock_guard lock(m_mutex);
    if (internet && !m_closedByAbort) m_closedByAbort = net::AbortInternet(internet.get());
}

void HttpRequestHandles::Close() {
    std::lock_guard lock(m_mutex);
    if (!Open()) return;
    if (m_closedByAbort) {
        // Closed with their internet handle by an abort: the values may be in use again.
        for (UniqueHttpHandle* h : {&request, &connection, &internet})
            if (*h) net::ForgetClosed(h->release());
        return;
    }
    request.reset();
    connection.reset();
    internet.reset();
}

bool HttpAbortGate::Register(const std::shared_ptr<HttpRequestHandles>& handles) {
    std::lock_guard lock(m_mutex);
    if (m_aborted) return false;
    m_current = handles;
    return true;
}

void HttpAbortGate::Abort() {
    std::shared_ptr<HttpRequestHandles> current;
    {
        std::lock_guard lock(m_mutex);
        m_aborted = true;
        current = m_current.lock();
    }
    if (current) current->Abort();
}

void HttpAbortGate::Clear() {
    std::lock_guard lock(m_mutex);
    m_aborted = false;
}

void RunRequestCall(HttpCallRunner& runner, const std::shared_ptr<HttpRequestHandles>& handles, uint32_t code, HttpCallBounds bounds,
                    std::function<void()> call, const std::function<void()>& onSlow) {
    if (runner.Run(std::move(call), std::min(bounds.stall, bounds.answer), bounds.slow, onSlow)) return;
    if (handles) handles->Abort();
    net::DropIdleConnections();
    const bool overdue = HttpCallRunner::Clock::now() >= bounds.answer;
    throw httpclientexceptionW(overdue ? L"The server's answer did not arrive complete in time." : L"Nothing was sent or received for too long.",
                               code, net::TimeoutError());
}

}  // namespace zk
