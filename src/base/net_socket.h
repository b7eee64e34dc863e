// Minimal blocking TCP sockets for the native HTTP twin and the reference service (Winsock on
// Windows, BSD sockets natively).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/unique_handle.h"

namespace zk::sock {

using Socket = intptr_t;
inline constexpr Socket kInvalid = -1;

void CloseSocket(Socket s);
using UniqueSocket = UniqueHandle<Socket, &CloseSocket, kInvalid>;

// Once per process (WSAStartup on Windows).
void Startup();
// A listening socket on 127.0.0.1; port 0 picks a free one, reported through `boundPort`.
Socket ListenLoopback(uint16_t port, uint16_t* boundPort);
// Waits up to timeoutMs for a connection; kInvalid on time-out or error.
Socket Accept(Socket listener, int timeoutMs);
// Resolves `host` (a name or dotted address) and connects; kInvalid on failure.
Socket Connect(const std::string& host, uint16_t port);
// Sends everything; false on error.
bool SendAll(Socket s, const void* data, size_t size);
// Bytes received (>0), 0 when the peer closed, -1 on error or time-out.
long Recv(Socket s, void* buffer, size_t size);
// True when data (or end of stream) can be read within timeoutMs.
bool WaitReadable(Socket s, int timeoutMs);
void SetTimeouts(Socket s, int recvMs, int sendMs);
void ShutdownBoth(Socket s);
// Makes the coming close a reset instead of an orderly end.
void SetResetOnClose(Socket s);
int LastError();

}  // namespace zk::sock
