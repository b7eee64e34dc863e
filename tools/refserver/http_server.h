// A small, strict HTTP/1.1 server on 127.0.0.1 for the reference service and the tests.
// One thread accepts; each connection is served on a thread of its own. In its own style it
// serves one request per connection ("Connection: close") and answers in one send; in the plain
// style it behaves as many HTTP/1.1 servers do: connections kept alive, an answer's head and body
// in two sends, no TCP_NODELAY and default socket buffers. Every request is recorded: request
// line, headers and the raw body bytes exactly as they arrived (unless a sink took the body).
// Threads: the accept thread and the (detached) connection threads call the handler; m_mutex
// guards the record list, the socket list and the wake-ups of Stop() and WaitForRequests().
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/net_socket.h"

namespace refsrv {

// Takes a request body as it arrives, instead of the server keeping it.
class BodySink {
public:
    virtual ~BodySink() = default;
    virtual void Take(const char* bytes, size_t count) = 0;
};

enum class ServerStyle {
    Reference,  // one request per connection, each answer in one send
    Plain,      // keep-alive; the head and the body of an answer in separate sends
};

struct HttpRequest {
    std::string method, target, version;
    std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
    std::string rawHead;  // request line and headers, as received
    std::string body;     // raw body bytes as received (empty when a sink took them)
    std::shared_ptr<BodySink> sink{};  // the sink that took the body, if any
    uint64_t bodyBytes = 0;          // body bytes received
    bool complete = false;  // the whole announced body arrived
    int64_t headTimeMs = 0;  // when the request head had arrived (milliseconds since 1970)
    [[nodiscard]] const std::string* Header(const std::string& name) const;
    [[nodiscard]] std::string Path() const;   // target up to '?'
    [[nodiscard]] std::string Query() const;  // target after '?'
};

struct HttpResponse {
    int status = 200;
    std::string statusText = "OK";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool chunked = false;     // send the body with chunked transfer coding, no Content-Length
    int delayMs = 0;          // wait before answering
    // Send the head at once, then the body one byte every this many milliseconds (0: at once).
    int trickleMs = 0;
    // With trickleMs: the head too goes a byte at a time (a server whose answer's head trickles).
    bool trickleHead = false;
    // Instead of answering: after this many body bytes have arrived, reset the connection.
    long cutAfterBodyBytes = -1;
    // From the head's answer: read the body no faster than this (0: as fast as it comes).
    long throttleBytesPerSecond = 0;
    // Answer without reading the request body (e.g. a refusal that does not wait); with
    // `drainAfterAnswer` the body is then read and dropped before the connection closes, as
    // nginx's lingering close does, so that the client reads the answer instead of a reset.
    bool answerBeforeBody = false;
    bool drainAfterAnswer = false;
    // From the head's answer: after this many body bytes the connection goes silent: nothing
    // more is read, nothing answered, nothing closed for `delayMs` (a peer that vanished
    // without a reset: a dropped Wi-Fi, a router that forgot the connection).
    long stallAfterBodyBytes = -1;
    // From the head's answer: the body goes to this sink instead of HttpRequest::body.
    std::shared_ptr<BodySink> sink{};
};

class HttpServer {
public:
    // Decides the answer; called twice per request: once when the head has arrived (`headOnly`
    // true: may return a cut or an early answer) and once with the complete body.
    using Handler = std::function<HttpResponse(const HttpRequest& request, bool headOnly)>;

    HttpServer() = default;
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // How connections and answers go from the next request on (ServerStyle::Reference unless set);
    // a request is answered in the style it began in.
    void SetStyle(ServerStyle style) { m_style = style; }
    [[nodiscard]] ServerStyle Style() const { return m_style.load(); }
    // Serves one connection at a time, as small servers do: the next is accepted only once the
    // one before has ended (kept alive in the plain style, it holds every other connection back).
    void SetSerial(bool on) { m_serial = on; }
    // Listens on 127.0.0.1:port (0 picks a free port).
    bool Start(Handler handler, uint16_t port = 0);
    void Stop();
    [[nodiscard]] uint16_t Port() const { return m_port; }

    // Whether every request is kept for Requests() (on by default; off for long runs).
    void SetRecording(bool on) { m_recording = on; }
    [[nodiscard]] std::vector<HttpRequest> Requests() const;
    void ClearRequests();
    // Waits until at least `count` requests were recorded.
    bool WaitForRequests(size_t count, int timeoutMs) const;
    // Connections open right now, and accepted since Start().
    [[nodiscard]] int OpenConnections() const { return m_openConnections.load(); }
    [[nodiscard]] int AcceptedConnections() const { return m_acceptedConnections.load(); }

private:
    void AcceptLoop();
    // A read that makes no progress this long ends the connection, and so does a kept-alive
    // connection idle this long, as servers do.
    static constexpr int kIdleMs = 60000;
    void Serve(zk::sock::Socket s);
    // One request of the connection; `data` holds bytes already received beyond the previous
    // one. True when the connection stays open for another request.
    bool ServeOne(zk::sock::Socket s, std::string& data);
    void Answer(zk::sock::Socket s, const HttpResponse& r, ServerStyle style, bool keepAlive) const;
    // Waits `ms` or until Stop().
    void Pause(int ms) const;
    void Record(HttpRequest r);
    HttpResponse CallHandler(const HttpRequest& req, bool headOnly) const;

    Handler m_handler;
    zk::sock::UniqueSocket m_listener;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;  // guards m_requests, m_threads, m_sockets
    mutable std::condition_variable m_cv;
    std::vector<HttpRequest> m_requests;
    std::vector<zk::sock::Socket> m_sockets;
    std::atomic<int> m_openConnections{0};
    std::atomic<int> m_acceptedConnections{0};
    std::atomic<ServerStyle> m_style{ServerStyle::Reference};
    std::atomic<bool> m_recording{true};
    std::atomic<bool> m_serial{false};
};

}  // namespace refsrv
