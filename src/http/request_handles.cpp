#include "http/request_handles.h"

#include <utility>

#include "http/http_platform.h"

namespace zk {

bool HttpAbortGate::Register(HttpHandle internet) {
    std::lock_guard lock(m_mutex);
    if (m_aborted) return false;
    m_current = internet;
    m_closedByAbort = false;
    return true;
}

bool HttpAbortGate::Release(HttpHandle internet) {
    std::lock_guard lock(m_mutex);
    if (m_current != internet) return true;
    m_current = nullptr;
    return !std::exchange(m_closedByAbort, false);
}

void HttpAbortGate::Abort() {
    std::lock_guard lock(m_mutex);
    m_aborted = true;
    if (m_current && !m_closedByAbort) m_closedByAbort = net::AbortInternet(m_current);
}

void HttpAbortGate::AbortRequest(HttpHandle internet) {
    std::lock_guard lock(m_mutex);
    if (internet && m_current == internet && !m_closedByAbort) m_closedByAbort = net::AbortInternet(m_current);
}

void HttpAbortGate::Clear() {
    std::lock_guard lock(m_mutex);
    m_aborted = false;
}

HttpRequestHandles& HttpRequestHandles::operator=(HttpRequestHandles&& o) noexcept {
    if (this != &o) {
        Close();
        internet = std::move(o.internet);
        connection = std::move(o.connection);
        request = std::move(o.request);
        m_gate = std::move(o.m_gate);
    }
    return *this;
}

void HttpRequestHandles::Close() {
    if (!Open()) return;
    if (internet && m_gate && !m_gate->Release(internet.get())) {
        // Closed with their internet handle by an abort: the values may be in use again.
        for (UniqueHttpHandle* h : {&request, &connection, &internet})
            if (*h) net::ForgetClosed(h->release());
        return;
    }
    request.reset();
    connection.reset();
    internet.reset();
}

}  // namespace zk
