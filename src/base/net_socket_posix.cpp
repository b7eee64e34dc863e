#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "base/net_socket.h"

namespace zk::sock {

void CloseSocket(Socket s) { ::close(static_cast<int>(s)); }

void Startup() {
    // A peer that closes early must give an error, not SIGPIPE.
    static const bool once = [] {
        std::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)once;
}

Socket ListenLoopback(uint16_t port, uint16_t* boundPort) {
    Startup();
    UniqueSocket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s) return kInvalid;
    int one = 1;
    ::setsockopt(static_cast<int>(s.get()), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::bind(static_cast<int>(s.get()), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return kInvalid;
    if (::listen(static_cast<int>(s.get()), 64) != 0) return kInvalid;
    socklen_t len = sizeof a;
    ::getsockname(static_cast<int>(s.get()), reinterpret_cast<sockaddr*>(&a), &len);
    if (boundPort) *boundPort = ntohs(a.sin_port);
    return s.release();
}

Socket Accept(Socket listener, int timeoutMs) {
    if (!WaitReadable(listener, timeoutMs)) return kInvalid;
    const int c = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
    return c < 0 ? kInvalid : c;
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
        UniqueSocket s(::socket(r->ai_family, r->ai_socktype | SOCK_CLOEXEC, r->ai_protocol));
        if (!s) continue;
        if (::connect(static_cast<int>(s.get()), r->ai_addr, r->ai_addrlen) == 0) {
            int one = 1;
            ::setsockopt(static_cast<int>(s.get()), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
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
        const ssize_t n = ::send(static_cast<int>(s), p, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

long Recv(Socket s, void* buffer, size_t size) {
    for (;;) {
        const ssize_t n = ::recv(static_cast<int>(s), buffer, size, 0);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

bool WaitReadable(Socket s, int timeoutMs) {
    pollfd p{static_cast<int>(s), POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        return r > 0;
    }
}

void SetTimeouts(Socket s, int recvMs, int sendMs) {
    timeval r{recvMs / 1000, (recvMs % 1000) * 1000};
    timeval w{sendMs / 1000, (sendMs % 1000) * 1000};
    ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_RCVTIMEO, &r, sizeof r);
    ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_SNDTIMEO, &w, sizeof w);
}

void ShutdownBoth(Socket s) { ::shutdown(static_cast<int>(s), SHUT_RDWR); }

void SetResetOnClose(Socket s) {
    linger l{1, 0};
    ::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

int LastError() { return errno; }

}  // namespace zk::sock
