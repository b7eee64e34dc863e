#include "refserver/http_server.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>

namespace refsrv {
namespace sock = zk::sock;

namespace {

bool IEquals(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The status line and headers; "Connection: close" unless the connection stays open.
std::string SerializeHead(const HttpResponse& r, bool keepAlive) {
    std::string out = "HTTP/1.1 " + std::to_string(r.status) + " " + r.statusText + "\r\n";
    for (auto& h : r.headers) out += h.first + ": " + h.second + "\r\n";
    if (r.chunked) {
        out += "Transfer-Encoding: chunked\r\n";
    } else {
        out += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
    }
    if (!keepAlive) out += "Connection: close\r\n";
    return out + "\r\n";
}

std::string SerializeBody(const HttpResponse& r) {
    if (!r.chunked) return r.body;
    // Chunks of at most 7 bytes, so that clients really decode several.
    std::string out;
    for (size_t i = 0; i < r.body.size(); i += 7) {
        const std::string piece = r.body.substr(i, 7);
        char len[16];
        std::snprintf(len, sizeof len, "%zx\r\n", piece.size());
        out += len + piece + "\r\n";
    }
    return out + "0\r\n\r\n";
}

// Whether the client lets the connection go on after this request (HTTP/1.1 unless it says
// close; HTTP/1.0 only when it asks for keep-alive).
bool ClientKeepsAlive(const HttpRequest& req) {
    const std::string* c = req.Header("Connection");
    if (req.version == "HTTP/1.1") return !c || !IEquals(*c, "close");
    return c && IEquals(*c, "keep-alive");
}

}  // namespace

const std::string* HttpRequest::Header(const std::string& name) const {
    for (auto& h : headers)
        if (IEquals(h.first, name)) return &h.second;
    return nullptr;
}

std::string HttpRequest::Path() const { return target.substr(0, target.find('?')); }

std::string HttpRequest::Query() const {
    const size_t q = target.find('?');
    return q == std::string::npos ? std::string() : target.substr(q + 1);
}

HttpServer::~HttpServer() { Stop(); }

// A handler that fails (a bug, or input nobody foresaw) answers 500 instead of ending the process.
HttpResponse HttpServer::CallHandler(const HttpRequest& req, bool headOnly) const {
    try {
        return m_handler(req, headOnly);
    } catch (const std::exception& e) {
        return HttpResponse{500, "Internal Server Error", {}, std::string("handler failed: ") + e.what()};
    } catch (...) {
        return HttpResponse{500, "Internal Server Error", {}, "handler failed"};
    }
}

bool HttpServer::Start(Handler handler, uint16_t port) {
    m_handler = std::move(handler);
    m_listener.reset(sock::ListenLoopback(port, &m_port));
    if (!m_listener) return false;
    m_stopping = false;
    m_acceptThread = std::thread(&HttpServer::AcceptLoop, this);
    return true;
}

void HttpServer::Stop() {
    m_stopping = true;
    if (m_acceptThread.joinable()) m_acceptThread.join();
    m_listener.reset();
    std::unique_lock lock(m_mutex);
    for (sock::Socket s : m_sockets) sock::ShutdownBoth(s);
    m_cv.wait(lock, [&] { return m_openConnections.load() == 0; });
}

void HttpServer::AcceptLoop() {
    while (!m_stopping) {
        const sock::Socket c = sock::Accept(m_listener.get(), 50);
        if (c == sock::kInvalid) continue;
        {
            std::lock_guard lock(m_mutex);
            m_sockets.push_back(c);
            ++m_openConnections;
            ++m_acceptedConnections;
        }
        auto serve = [this, c] {
            Serve(c);
            std::lock_guard done(m_mutex);
            m_sockets.erase(std::remove(m_sockets.begin(), m_sockets.end(), c), m_sockets.end());
            sock::CloseSocket(c);
            --m_openConnections;
            m_cv.notify_all();
        };
        // Detached: Stop() waits for the count of open connections instead of joining.
        if (m_serial) serve();
        else std::thread(serve).detach();
    }
}

void HttpServer::Record(HttpRequest r) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_recording) r = HttpRequest{};  // counted for WaitForRequests, nothing kept
        m_requests.push_back(std::move(r));
    }
    m_cv.notify_all();
}

void HttpServer::Serve(sock::Socket raw) {
    sock::SetTimeouts(raw, kIdleMs, kIdleMs);
    std::string data;
    while (!m_stopping && ServeOne(raw, data)) {
    }
}

bool HttpServer::ServeOne(sock::Socket raw, std::string& data) {
    HttpRequest req;
    char buf[65536];
    size_t headEnd;
    // An idle kept-alive connection waits in short looks, so that Stop() ends it without its
    // shutdown having to wake a blocked read (Winsock under Wine does not).
    if (data.empty()) {
        for (int waited = 0; !sock::WaitReadable(raw, 50); waited += 50)
            if (m_stopping || waited >= kIdleMs) return false;
    }
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
        const long n = sock::Recv(raw, buf, sizeof buf);
        if (n <= 0 || data.size() > (1 << 20)) {
            return false;
        }
        data.append(buf, static_cast<size_t>(n));
    }
    // The style when the request's head arrived: a request that switches it is answered in the old one.
    const ServerStyle style = m_style;
    req.headTimeMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    req.rawHead = data.substr(0, headEnd + 4);
    data.erase(0, headEnd + 4);
    // Request line and headers.
    size_t lineEnd = req.rawHead.find("\r\n");
    const std::string line = req.rawHead.substr(0, lineEnd);
    const size_t sp1 = line.find(' '), sp2 = line.rfind(' ');
    if (sp1 == std::string::npos || sp2 == sp1) {
        const std::string bad = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        sock::SendAll(raw, bad.data(), bad.size());
        return false;
    }
    req.method = line.substr(0, sp1);
    req.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    req.version = line.substr(sp2 + 1);
    while (true) {
        const size_t start = lineEnd + 2;
        lineEnd = req.rawHead.find("\r\n", start);
        if (lineEnd == std::string::npos || lineEnd == start) break;
        const std::string h = req.rawHead.substr(start, lineEnd - start);
        const size_t colon = h.find(':');
        if (colon == std::string::npos) continue;
        size_t v = colon + 1;
        while (v < h.size() && h[v] == ' ') ++v;
        req.headers.emplace_back(h.substr(0, colon), h.substr(v));
    }
    size_t expected = 0;
    if (const std::string* cl = req.Header("Content-Length")) expected = std::strtoull(cl->c_str(), nullptr, 10);

    HttpResponse early = CallHandler(req, true);
    if (const std::string* ex = req.Header("Expect"); ex && IEquals(*ex, "100-continue") && !early.answerBeforeBody) {
        const std::string cont = "HTTP/1.1 100 Continue\r\n\r\n";
        sock::SendAll(raw, cont.data(), cont.size());
    }
    req.sink = early.sink;
    // Body bytes go to the sink, or are kept; those of a next request wait in `data`.
    auto take = [&req](const char* p, size_t n) {
        req.bodyBytes += n;
        if (req.sink) req.sink->Take(p, n);
        else req.body.append(p, n);
    };
    {
        const size_t first = std::min(data.size(), expected);
        take(data.data(), first);
        data.erase(0, first);
    }
    if (early.answerBeforeBody) {
        Record(req);
        Answer(raw, early, style, false);  // the body is left unread: the connection cannot go on
        if (early.drainAfterAnswer) {
            sock::SetTimeouts(raw, 5000, 5000);
            for (size_t left = expected - req.bodyBytes; left > 0 && !m_stopping;) {
                const long n = sock::Recv(raw, buf, std::min(left, sizeof buf));
                if (n <= 0) break;
                left -= static_cast<size_t>(n);
            }
            sock::ShutdownBoth(raw);
        }
        return false;
    }
    const auto bodyStart = std::chrono::steady_clock::now();
    while (req.bodyBytes < expected) {
        if (early.cutAfterBodyBytes >= 0 && static_cast<long>(req.bodyBytes) >= early.cutAfterBodyBytes) break;
        if (early.stallAfterBodyBytes >= 0 && static_cast<long>(req.bodyBytes) >= early.stallAfterBodyBytes) break;
        size_t want = std::min<size_t>(sizeof buf, expected - req.bodyBytes);
        if (early.throttleBytesPerSecond > 0) {
            // A slow network: small reads, each no sooner than the rate allows.
            want = std::min<size_t>(want, static_cast<size_t>(early.throttleBytesPerSecond / 20 + 1));
            const auto due = bodyStart + std::chrono::microseconds(static_cast<long long>(req.bodyBytes) * 1000000 / early.throttleBytesPerSecond);
            while (!m_stopping && std::chrono::steady_clock::now() < due) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (m_stopping) break;
        }
        const long n = sock::Recv(raw, buf, want);
        if (n <= 0) break;
        take(buf, static_cast<size_t>(n));
    }
    if (early.stallAfterBodyBytes >= 0) {
        Record(req);
        Pause(early.delayMs > 0 ? early.delayMs : 600000);
        return false;  // closed quietly, long after the client gave up
    }
    if (early.cutAfterBodyBytes >= 0) {
        if (req.body.size() > static_cast<size_t>(early.cutAfterBodyBytes)) req.body.resize(static_cast<size_t>(early.cutAfterBodyBytes));
        req.complete = false;
        Record(req);
        sock::SetResetOnClose(raw);
        return false;
    }
    req.complete = req.bodyBytes == expected;
    HttpResponse resp = req.complete ? CallHandler(req, false) : HttpResponse{400, "Bad Request", {}, "incomplete body"};
    Record(req);
    if (resp.delayMs > 0) Pause(resp.delayMs);
    if (resp.cutAfterBodyBytes >= 0) {
        sock::SetResetOnClose(raw);
        return false;
    }
    const bool keepAlive = style == ServerStyle::Plain && req.complete && resp.trickleMs == 0 && ClientKeepsAlive(req);
    Answer(raw, resp, style, keepAlive);
    if (!keepAlive) sock::ShutdownBoth(raw);
    return keepAlive;
}

void HttpServer::Answer(sock::Socket raw, const HttpResponse& resp, ServerStyle style, bool keepAlive) const {
    const std::string head = SerializeHead(resp, keepAlive);
    const std::string body = SerializeBody(resp);
    if (resp.trickleMs > 0) {
        const std::string slow = resp.trickleHead ? head + body : body;
        bool sending = resp.trickleHead || sock::SendAll(raw, head.data(), head.size());
        for (size_t i = 0; sending && i < slow.size() && !m_stopping; ++i) {
            Pause(resp.trickleMs);
            sending = !m_stopping && sock::SendAll(raw, slow.data() + i, 1);
        }
    } else if (style == ServerStyle::Plain) {
        // As a server that writes its headers, then its body: Nagle holds a short body until the
        // client acknowledges the head.
        if (sock::SendAll(raw, head.data(), head.size()) && !body.empty()) sock::SendAll(raw, body.data(), body.size());
    } else {
        const std::string out = head + body;
        sock::SendAll(raw, out.data(), out.size());
    }
}

void HttpServer::Pause(int ms) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!m_stopping && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::vector<HttpRequest> HttpServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void HttpServer::ClearRequests() {
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

bool HttpServer::WaitForRequests(size_t count, int timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_requests.size() >= count; });
}

}  // namespace refsrv
