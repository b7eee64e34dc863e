// What the platform's network errors mean, in words for the people who read the journal and the
// window: the shop's staff, who can check a cable or a clock, and the service's support, who
// also get the number.
#pragma once
#include <cstdint>
#include <string>

namespace zk {

// The words for a network error number (WinINet's, which the native build's sockets follow too),
// empty for a number people need not be told about in words.
std::wstring NetErrorWords(uint32_t osError);

// A failure to reach the server at all: no connection, no name, no answer in time, a connection
// dropped. (A certificate refused or a status answered is the server reached.)
bool IsUnreachableError(uint32_t osError);
// The server's certificate was not accepted: it stays so until somebody acts.
bool IsCertificateError(uint32_t osError);

// `message` (the client's own text of a failure) for people: the words for `osError`, then the
// number and the message for support, as "words (ошибка 12045, message)"; for a number without
// words the message and the number ("message (ошибка 5)"), for none the message alone.
std::wstring ExplainNetFailure(const std::wstring& message, uint32_t osError);

}  // namespace zk
