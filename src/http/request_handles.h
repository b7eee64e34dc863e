// Ownership of one request's three platform handles (internet, connection, request) and the
// gate through which another thread can abort the request in progress.
#pragma once
#include <memory>
#include <mutex>

#include "base/unique_handle.h"
#include "http/http_tool.h"

namespace zk {

// One owned internet, connection or request handle; its closer is the only place a handle is
// closed.
using UniqueHttpHandle = UniqueHandle<HttpHandle, &CHttpToolW::CloseHandle>;

// The internet handle a client has in use, so that another thread can abort its request.
// Shared by the client and the responses it hands out; m_mutex guards every field.
class HttpAbortGate {
public:
    // False (the request must not go ahead) once aborted.
    bool Register(HttpHandle internet);
    // Forgets the handle before its owner closes it; false when an abort already closed it
    // (and its connection and request with it): the owner must then close none of them.
    bool Release(HttpHandle internet);
    // Any thread: the registered request fails at once; later ones are refused.
    void Abort();
    // Any thread: the request of `internet` fails at once if it is still the registered one;
    // later requests go ahead.
    void AbortRequest(HttpHandle internet);
    void Clear();

private:
    mutable std::mutex m_mutex;
    HttpHandle m_current = nullptr;
    bool m_aborted = false;
    bool m_closedByAbort = false;  // the platform closed m_current to abort it
};

// The three handles of one request, closed together: the request, the connection, then the
// internet handle, or none of them when an abort has closed them already.
class HttpRequestHandles {
public:
    HttpRequestHandles() = default;
    explicit HttpRequestHandles(std::shared_ptr<HttpAbortGate> gate) : m_gate(std::move(gate)) {}
    HttpRequestHandles(HttpRequestHandles&&) noexcept = default;
    HttpRequestHandles& operator=(HttpRequestHandles&& o) noexcept;
    ~HttpRequestHandles() { Close(); }

    void Close();
    [[nodiscard]] bool Open() const { return internet || connection || request; }

    UniqueHttpHandle internet, connection, request;

private:
    std::shared_ptr<HttpAbortGate> m_gate;
};

}  // namespace zk
