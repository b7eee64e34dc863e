// Native twin of the platform HTTP calls: a minimal HTTP/1.1 client over plain sockets (no TLS)
// with WinINet's shape. A request handle connects when it is sent, writes the request head
// (request line, Accept, User-Agent, Host, added headers, Content-Length for a body), streams
// the body, and parses the response head when the request ends; the body is read on demand
// (Content-Length, chunked, or until the server closes). Error numbers follow WinINet's.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "base/net_socket.h"
#include "base/utf16.h"
#include "http/http_platform.h"

namespace zk::net {
namespace {

constexpr uint32_t kErrInvalidHandle = 6;
constexpr uint32_t kErrFileTooLarge = 223;
constexpr uint32_t kErrCannotConnect = 12029;
constexpr uint32_t kErrConnectionReset = 12031;
constexpr uint32_t kErrIncorrectHandleState = 12019;
constexpr uint32_t kErrHeaderNotFound = 12150;
constexpr uint32_t kErrInvalidServerResponse = 12152;
constexpr uint32_t kErrOperationCancelled = 12017;
constexpr uint32_t kErrTimeout = 12002;

thread_local uint32_t t_lastError = 0;
std::atomic<int> g_live{0};

bool Fail(uint32_t err) {
    t_lastError = err;
    return false;
}

struct Object {
    enum class Kind { Internet, Connection, Request } kind;
    explicit Object(Kind k) : kind(k) { ++g_live; }
    virtual ~Object() { --g_live; }
};

struct Request;

struct Internet : Object {
    Internet() : Object(Kind::Internet) {}
    std::string agent;
    std::mutex mutex;  // guards requests and aborted (AbortInternet comes from another thread)
    std::vector<Request*> requests;
    bool aborted = false;
};

struct Connection : Object {
    Connection() : Object(Kind::Connection) {}
    Internet* internet = nullptr;
    std::string host, agent;
    uint16_t port = 80;
};

struct Request : Object {
    Request() : Object(Kind::Request) {}
    ~Request() override {
        if (!internet) return;
        std::lock_guard lock(internet->mutex);
        std::erase(internet->requests, this);
    }
    Internet* internet = nullptr;  // the owner closes requests before their internet handle
    std::string host, agent, verb, object;
    uint16_t port = 80;
    std::vector<std::string> headerLines;
    sock::UniqueSocket socket;
    bool sent = false, ended = false;
    uint32_t bodyTotal = 0, bodyWritten = 0;
    // response
    uint32_t status = 0;
    std::string statusText;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string pending;  // received bytes not handed out yet
    enum class Body { Length, Chunked, UntilClose } body = Body::UntilClose;
    uint64_t remaining = 0;  // of the current Length body or chunk
    bool bodyDone = false;
    bool timedOut = false;  // the last receive waited longer than the receive time-out
    int sendMs = 0, receiveMs = 0;  // 0: none (a blocking socket waits for ever)
};

template <class T>
T* As(Handle h, Object::Kind k) {
    auto* o = static_cast<Object*>(h);
    return o && o->kind == k ? static_cast<T*>(o) : nullptr;
}

bool IEquals(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

const std::string* FindHeader(const Request& r, const std::string& name) {
    for (auto& h : r.headers)
        if (IEquals(h.first, name)) return &h.second;
    return nullptr;
}

bool Connect(Request& r, const std::string& extra) {
    sock::UniqueSocket s(sock::Connect(r.host, r.port));
    if (!s) return Fail(kErrCannotConnect);
    if (r.internet) {
        std::lock_guard lock(r.internet->mutex);
        if (r.internet->aborted) return Fail(kErrOperationCancelled);
        r.socket = std::move(s);
    } else {
        r.socket = std::move(s);
    }
    if (r.sendMs || r.receiveMs) sock::SetTimeouts(r.socket.get(), r.receiveMs, r.sendMs);
    std::string head = r.verb + " " + r.object + " HTTP/1.1\r\nAccept: */*\r\n";
    if (!r.agent.empty()) head += "User-Agent: " + r.agent + "\r\n";
    head.append("Host: ").append(r.host);
    if (r.port != 80) head.append(":").append(std::to_string(r.port));
    head.append("\r\n");
    for (auto& line : r.headerLines) head += line;
    head += extra;
    head += "Connection: close\r\n\r\n";
    if (!sock::SendAll(r.socket.get(), head.data(), head.size())) return Fail(kErrConnectionReset);
    r.sent = true;
    return true;
}

// Reads more bytes into `pending`; false on error or end of stream.
bool Fill(Request& r) {
    char buf[16384];
    const long n = sock::Recv(r.socket.get(), buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) r.timedOut = true;
    if (n <= 0) return false;
    r.pending.append(buf, static_cast<size_t>(n));
    return true;
}

bool ReadHead(Request& r) {
    size_t end;
    while ((end = r.pending.find("\r\n\r\n")) == std::string::npos) {
        if (!Fill(r)) return Fail(r.timedOut ? kErrTimeout : r.pending.empty() ? kErrConnectionReset : kErrInvalidServerResponse);
        if (r.pending.size() > 1 << 20) return Fail(kErrInvalidServerResponse);
    }
    const std::string head = r.pending.substr(0, end);
    r.pending.erase(0, end + 4);
    size_t lineEnd = head.find("\r\n");
    const std::string statusLine = head.substr(0, lineEnd);
    unsigned code = 0;
    char proto[16] = {};
    int consumed = 0;
    if (std::sscanf(statusLine.c_str(), "%15s %u %n", proto, &code, &consumed) < 2 || std::strncmp(proto, "HTTP/", 5) != 0)
        return Fail(kErrInvalidServerResponse);
    r.status = code;
    r.statusText = statusLine.substr(static_cast<size_t>(consumed));
    while (lineEnd != std::string::npos) {
        const size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        size_t v = colon + 1;
        while (v < line.size() && line[v] == ' ') ++v;
        r.headers.emplace_back(line.substr(0, colon), line.substr(v));
    }
    r.ended = true;
    if (r.verb == "HEAD" || r.status == 204 || r.status == 304 || (r.status >= 100 && r.status < 200)) {
        r.bodyDone = true;
    } else if (const std::string* te = FindHeader(r, "Transfer-Encoding"); te && IEquals(*te, "chunked")) {
        r.body = Request::Body::Chunked;
        r.remaining = 0;
    } else if (const std::string* cl = FindHeader(r, "Content-Length")) {
        r.body = Request::Body::Length;
        r.remaining = std::strtoull(cl->c_str(), nullptr, 10);
        r.bodyDone = r.remaining == 0;
    }
    return true;
}

// Gives up to `size` body bytes.
bool ReadBody(Request& r, char* out, uint32_t size, uint32_t* read) {
    *read = 0;
    while (*read == 0 && !r.bodyDone && size > 0) {
        if (r.body == Request::Body::Chunked && r.remaining == 0) {
            // Next chunk-size line (after the CRLF that ends the previous chunk).
            size_t eol;
            while ((eol = r.pending.find("\r\n")) == std::string::npos)
                if (!Fill(r)) return Fail(r.timedOut ? kErrTimeout : kErrConnectionReset);
            if (eol == 0) {
                r.pending.erase(0, 2);
                continue;
            }
            r.remaining = std::strtoull(r.pending.substr(0, eol).c_str(), nullptr, 16);
            r.pending.erase(0, eol + 2);
            if (r.remaining == 0) {
                r.bodyDone = true;  // trailers are not needed
                break;
            }
        }
        if (r.pending.empty() && !Fill(r)) {
            if (r.timedOut) return Fail(kErrTimeout);
            if (r.body == Request::Body::UntilClose) {
                r.bodyDone = true;
                break;
            }
            return Fail(kErrConnectionReset);
        }
        size_t n = std::min<size_t>(size, r.pending.size());
        if (r.body != Request::Body::UntilClose) n = std::min<uint64_t>(n, r.remaining);
        std::memcpy(out, r.pending.data(), n);
        r.pending.erase(0, n);
        *read = static_cast<uint32_t>(n);
        if (r.body != Request::Body::UntilClose) {
            r.remaining -= n;
            if (r.body == Request::Body::Length && r.remaining == 0) r.bodyDone = true;
        }
    }
    return true;
}

std::string Narrow(const wchar_t* w) { return w ? ToUtf8(w) : std::string(); }

}  // namespace

FileHandle InvalidFile() { return reinterpret_cast<FileHandle>(static_cast<intptr_t>(-1)); }
uint32_t LastError() { return t_lastError; }
uint32_t HeaderNotFoundError() { return kErrHeaderNotFound; }
int LiveHandleCount() { return g_live.load(); }
uint32_t TimeoutError() { return kErrTimeout; }

// Connecting to a loopback or LAN peer fails or succeeds at once here: only send and receive
// have time-outs of their own.
bool SetTimeouts(Handle request, uint32_t, uint32_t sendMs, uint32_t receiveMs) {
    auto* r = As<Request>(request, Object::Kind::Request);
    if (!r) return Fail(kErrInvalidHandle);
    r->sendMs = static_cast<int>(sendMs);
    r->receiveMs = static_cast<int>(receiveMs);
    return true;
}

Handle InternetOpen(const wchar_t* agent, uint32_t, const wchar_t*, const wchar_t*, uint32_t) {
    auto* i = new Internet;
    i->agent = Narrow(agent);
    return i;
}

Handle InternetConnect(Handle internet, const wchar_t* server, uint16_t port) {
    auto* i = As<Internet>(internet, Object::Kind::Internet);
    if (!i) return Fail(kErrInvalidHandle), nullptr;
    auto* c = new Connection;
    c->internet = i;
    c->host = Narrow(server);
    c->agent = i->agent;
    c->port = port;
    return c;
}

Handle HttpOpenRequestA(Handle connection, const char* verb, const char* objectName, const char*, uint32_t) {
    auto* c = As<Connection>(connection, Object::Kind::Connection);
    if (!c) return Fail(kErrInvalidHandle), nullptr;
    auto* r = new Request;
    r->internet = c->internet;
    if (r->internet) {
        std::lock_guard lock(r->internet->mutex);
        r->internet->requests.push_back(r);
    }
    r->host = c->host;
    r->agent = c->agent;
    r->port = c->port;
    r->verb = verb ? verb : "GET";
    r->object = objectName;
    return r;
}

bool HttpAddRequestHeadersA(Handle request, const char* line, uint32_t length) {
    auto* r = As<Request>(request, Object::Kind::Request);
    if (!r) return Fail(kErrInvalidHandle);
    r->headerLines.emplace_back(line, length);
    return true;
}

bool HttpSendRequest(Handle request) {
    auto* r = As<Request>(request, Object::Kind::Request);
    if (!r) return Fail(kErrInvalidHandle);
    if (r->sent) return Fail(kErrIncorrectHandleState);
    return Connect(*r, "") && ReadHead(*r);
}

bool HttpSendRequestEx(Handle request, uint32_t totalLength) {
    auto* r = As<Request>(request, Object::Kind::Request);
    if (!r) return Fail(kErrInvalidHandle);
    if (r->sent) return Fail(kErrIncorrectHandleState);
    r->bodyTotal = totalLength;
    return Connect(*r, "Content-Length: " + std::to_string(totalLength) + "\r\n");
}

bool InternetWriteFile(Handle request, const void* bytes, uint32_t count, uint32_t* written) {
    *written = 0;
    auto* r = As<Request>(request, Object::Kind::Request);
    if (!r) return Fail(kErrInvalidHandle);
    if (!r->sent || r->ended) return Fail(kErrIncorrectHandleState);
    if (!sock::SendAll(r->socket.get(), bytes, count)) return Fail(errno == EAGAIN || errno == EWOULDBLOCK ? kErrTimeout : kErrConnectionReset);
    r->bodyWritten += count;
    *written = count;
    return true;
}

bool HttpEndRequest(Handle request) {
    auto* r = As<Request>(request, Object::Kind::Request);
    if (!r) return Fail(kErrInvalidHandle);
    if (!r->sent || r->ended) return Fail(kErrIncorrectHandleState);
    return ReadHead(*r);
}

bool QueryStatusCode(Handle request, uint32_t& code) {
    auto* r = As<Request>(request, Object::Kind::Request);
    if (!r) return Fail(kErrInvalidHandle);
    if (!r->ended) return Fail(kErrIncorrectHandleState);
    code = r->status;
    return true;
}

bool QueryStatusText(Handle request, std::wstring& text) {
    auto* r = As<Request>(request, Object::Kind::Request);
    if (!r) return Fail(kErrInvalidHandle);
    if (!r->ended) return Fail(kErrIncorrectHandleState);
    text = FromUtf8(r->statusText);
    return true;
}

HeaderQuery QueryHeader(Handle request, const wchar_t* name, uint32_t* index, std::wstring& value) {
    auto* r = As<Request>(request, Object::Kind::Request);
    if (!r) return Fail(kErrInvalidHandle), HeaderQuery::Failed;
    if (!r->ended) return Fail(kErrIncorrectHandleState), HeaderQuery::Failed;
    const std::string n = Narrow(name);
    uint32_t want = index ? *index : 0, seen = 0;
    for (auto& h : r->headers) {
        if (!IEquals(h.first, n)) continue;
        if (seen++ == want) {
            value = FromUtf8(h.second);
            if (index) *index = want + 1;
            return HeaderQuery::Found;
        }
    }
    t_lastError = kErrHeaderNotFound;
    return HeaderQuery::NotFound;
}

bool QueryContentLength(Handle request, uint32_t& length) {
    auto* r = As<Request>(request, Object::Kind::Request);
    if (!r) return Fail(kErrInvalidHandle);
    if (!r->ended) return Fail(kErrIncorrectHandleState);
    const std::string* cl = FindHeader(*r, "Content-Length");
    if (!cl) return Fail(kErrHeaderNotFound);
    length = static_cast<uint32_t>(std::strtoul(cl->c_str(), nullptr, 10));
    return true;
}

bool InternetReadFile(Handle request, void* buffer, uint32_t size, uint32_t* read) {
    *read = 0;
    auto* r = As<Request>(request, Object::Kind::Request);
    if (!r) return Fail(kErrInvalidHandle);
    if (!r->ended) return Fail(kErrIncorrectHandleState);
    return ReadBody(*r, static_cast<char*>(buffer), size, read);
}

// The sockets are shut down; the handles stay for their owner to close.
bool AbortInternet(Handle internet) {
    auto* i = As<Internet>(internet, Object::Kind::Internet);
    if (!i) return false;
    std::lock_guard lock(i->mutex);
    i->aborted = true;
    for (Request* r : i->requests)
        if (r->socket) sock::ShutdownBoth(r->socket.get());
    return false;
}

void ForgetClosed(Handle) {}

void DropIdleConnections() {}

bool InternetCloseHandle(Handle h) {
    if (!h) return Fail(kErrInvalidHandle);
    delete static_cast<Object*>(h);
    return true;
}

FileHandle OpenFileForRead(const wchar_t* path) {
    std::FILE* f = std::fopen(ToUtf8(path).c_str(), "rb");
    if (!f) {
        t_lastError = static_cast<uint32_t>(errno);
        return InvalidFile();
    }
    return f;
}

bool FileIdentityOf(FileHandle file, FileIdentity& identity) {
    return file && file != InvalidFile() && IdentityOfDescriptor(::fileno(static_cast<std::FILE*>(file)), identity);
}

bool FileSize32(FileHandle file, uint32_t& size) {
    auto* f = static_cast<std::FILE*>(file);
    const long pos = std::ftell(f);
    if (std::fseek(f, 0, SEEK_END) != 0) return Fail(static_cast<uint32_t>(errno));
    const long long end = ftello(f);
    std::fseek(f, pos, SEEK_SET);
    if (end < 0) return Fail(static_cast<uint32_t>(errno));
    if (end > 0xFFFFFFFFLL) return Fail(kErrFileTooLarge);
    size = static_cast<uint32_t>(end);
    return true;
}

bool ReadFile(FileHandle file, void* buffer, uint32_t size, uint32_t* read) {
    auto* f = static_cast<std::FILE*>(file);
    *read = static_cast<uint32_t>(std::fread(buffer, 1, size, f));
    if (*read < size && std::ferror(f)) return Fail(static_cast<uint32_t>(errno));
    return true;
}

bool RewindFile(FileHandle file) { return std::fseek(static_cast<std::FILE*>(file), 0, SEEK_SET) == 0; }

void CloseFile(FileHandle file) {
    if (file && file != InvalidFile()) std::fclose(static_cast<std::FILE*>(file));
}

// A small magic-number table in place of the platform's sniffing, with the platform's names.
bool FindMimeFromData(const void* bytes, uint32_t size, std::wstring& mime) {
    if (size == 0) return false;
    const auto* b = static_cast<const unsigned char*>(bytes);
    auto starts = [&](const char* sig, uint32_t n) { return size >= n && std::memcmp(b, sig, n) == 0; };
    if (starts("\xFF\xD8\xFF", 3)) mime = L"image/pjpeg";
    else if (starts("\x89PNG", 4)) mime = L"image/x-png";
    else if (starts("GIF8", 4)) mime = L"image/gif";
    else if (starts("BM", 2)) mime = L"image/bmp";
    else if (starts("%PDF", 4)) mime = L"application/pdf";
    else if (starts("PK\x03\x04", 4)) mime = L"application/x-zip-compressed";
    else {
        bool text = true;
        for (uint32_t i = 0; i < size && text; ++i) text = b[i] >= 0x20 || b[i] == '\t' || b[i] == '\r' || b[i] == '\n';
        mime = text ? L"text/plain" : L"application/octet-stream";
    }
    return true;
}

bool CreateGuid(Guid& guid) {
    std::random_device rd;
    guid.data1 = rd();
    guid.data2 = static_cast<uint16_t>(rd());
    guid.data3 = static_cast<uint16_t>((rd() & 0x0FFF) | 0x4000);
    for (auto& x : guid.data4) x = static_cast<uint8_t>(rd());
    return true;
}

}  // namespace zk::net
