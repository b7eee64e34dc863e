#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>

#include "base/net_socket.h"

namespace zk::sock {

void CloseSocket(Socket s) { ::closesocket(static_cast<SOCKET>(s)); }

void Startup() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

Socket ListenLoopback(uint16_t port, uint16_t* boundPort) {
    Startup();
    const SOCKET raw = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (raw == INVALID_SOCKET) return kInvalid;
    UniqueSocket s(static_cast<Socket>(raw));
    // A restarted test server binds its old port again at once.
    BOOL one = TRUE;
    ::setsockopt(raw, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::bind(raw, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return kInvalid;
    if (::listen(raw, 64) != 0) return kInvalid;
    int len = sizeof a;
    ::getsockname(raw, reinterpret_cast<sockaddr*>(&a), &len);
    if (boundPort) *boundPort = ntohs(a.sin_port);
    return s.release();
}

Socket Accept(Socket listener, int timeoutMs) {
    if (!WaitReadable(listener, timeoutMs)) return kInvalid;
    const SOCKET c = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    return c == INVALID_SOCKET ? kInvalid : static_cast<Socket>(c);
}

Socket Connect(const std::string& host, uint16_t port) {
    Startup();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) return kInvalid;
    Socket out = kInvalid;
    for (addrinfo* r = res; r; r = r->ai_next) {
        const SOCKET raw = ::socket(r->ai_family, r->ai_socktype, r->ai_protocol);
        if (raw == INVALID_SOCKET) continue;
        UniqueSocket s(static_cast<Socket>(raw));
        if (::connect(raw, r->ai_addr, static_cast<int>(r->ai_addrlen)) == 0) {
            BOOL one = TRUE;
            ::setsockopt(raw, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
            out = s.release();
            break;
        }
    }
    ::freeaddrinfo(res);
    return out;
}

bool SendAll(Socket s, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const int chunk = size > 1 << 20 ? 1 << 20 : static_cast<int>(size);
        const int n = ::send(static_cast<SOCKET>(s), p, chunk, 0);
        if (n == SOCKET_ERROR) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

long Recv(Socket s, void* buffer, size_t size) {
    const int chunk = size > 1 << 20 ? 1 << 20 : static_cast<int>(size);
    const int n = ::recv(static_cast<SOCKET>(s), static_cast<char*>(buffer), chunk, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

bool WaitReadable(Socket s, int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<SOCKET>(s), &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return ::select(0, &set, nullptr, nullptr, timeoutMs < 0 ? nullptr : &tv) > 0;
}

void SetTimeouts(Socket s, int recvMs, int sendMs) {
    DWORD r = static_cast<DWORD>(recvMs), w = static_cast<DWORD>(sendMs);
    ::setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&r), sizeof r);
    ::setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&w), sizeof w);
}

void ShutdownBoth(Socket s) { ::shutdown(static_cast<SOCKET>(s), SD_BOTH); }

void SetResetOnClose(Socket s) {
    linger l{1, 0};
    ::setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
}

int LastError() { return WSAGetLastError(); }

}  // namespace zk::sock
