// Ownership of one request's three platform handles (internet, connection, request), the gate
// through which another thread can abort a client's request in progress, and the bounded run of
// a request's blocking calls.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "base/unique_handle.h"
#include "http/call_runner.h"
#include "http/http_tool.h"

namespace zk {

// One owned internet, connection or request handle; its closer is the only place a handle is
// closed.
using UniqueHttpHandle = UniqueHandle<HttpHandle, &CHttpToolW::CloseHandle>;

// The three handles of one request, closed together: the request, the connection, then the
// internet handle, or none of them when an abort has closed them already (WinINet closes a
// request with its internet handle). Shared by the client, its response and the calls in flight
// on the request; the last of them closes. m_mutex orders an abort from another thread against
// the close.
class HttpRequestHandles {
public:
    HttpRequestHandles() = default;
    HttpRequestHandles(const HttpRequestHandles&) = delete;
    HttpRequestHandles& operator=(const HttpRequestHandles&) = delete;
    ~HttpRequestHandles() { Close(); }

    // Any thread: the request's blocking call returns at once where the platform allows it.
    void Abort();
    void Close();
    [[nodiscard]] bool Open() const { return internet || connection || request; }

    UniqueHttpHandle internet, connection, request;

private:
    std::mutex m_mutex;
    bool m_closedByAbort = false;  // the platform closed them to abort the request
};

// The request a client has in progress, so that another thread can abort it. Shared by the
// client and the responses it hands out; m_mutex guards both fields.
class HttpAbortGate {
public:
    // False (the request must not go ahead) once aborted.
    bool Register(const std::shared_ptr<HttpRequestHandles>& handles);
    // Any thread: the registered request fails at once; later ones are refused until Clear().
    void Abort();
    void Clear();

private:
    std::mutex m_mutex;
    std::weak_ptr<HttpRequestHandles> m_current;
    bool m_aborted = false;
};

// When a blocking call of a request is given up, and when it is slow.
struct HttpCallBounds {
    HttpCallRunner::Clock::time_point stall;   // nothing has moved for too long
    HttpCallRunner::Clock::time_point answer;  // the whole answer is overdue
    HttpCallRunner::Clock::time_point slow = HttpCallRunner::Clock::time_point::max();
};

// Runs `call`, a blocking call of the request of `handles`, on `runner`. Given up at the earlier
// of its bounds: the request is aborted, kept-alive connections are dropped (they may have gone
// as silent as this one) and the platform's time-out error is raised under `code`. Still
// running at `bounds.slow`, `onSlow` is called and the wait goes on. The call must own what it
// uses (a copy of `handles`, its buffer): it may return long after.
void RunRequestCall(HttpCallRunner& runner, const std::shared_ptr<HttpRequestHandles>& handles, uint32_t code, HttpCallBounds bounds,
                    std::function<void()> call, const std::function<void()>& onSlow = nullptr);

}  // namespace zk
