// Whether an upload goes over a kept-alive connection or one of its own. Many servers write an
// answer's head and body in two sends without TCP_NODELAY: the short body then waits until the
// client has acknowledged the head, and a client TCP that delays that acknowledgement (Linux on a
// kept-alive connection, ~40 ms; Windows on any, ~200 ms) stalls every small upload by that much.
// The choice watches the wait between each answer's head and its body: two stalls in a row on
// kept-alive connections, and uploads take fresh connections (a fresh one is acknowledged at once
// where the stack does that); two stalls in a row on fresh ones too, and fresh connections do not
// help, so kept-alive ones (no handshake) come back for a while. Now and then the other way is
// tried again, in case the server changed.
// Used by the thread that runs the client's uploads and reads their answers.
#pragma once
#include <chrono>

namespace zk {

class HttpConnectionChoice {
public:
    // A wait longer than any live server's between a head and a body sent together.
    static constexpr std::chrono::milliseconds kStall{20};
    // Stalled answers in a row that decide a change.
    static constexpr int kStallsToSwitch = 2;
    // Answers on fresh connections before kept-alive ones are tried again.
    static constexpr int kFreshBeforeRetry = 256;
    // Answers on kept-alive connections after fresh ones were seen to stall too; doubles each
    // time up to kLongestHold.
    static constexpr int kFirstHold = 64;
    static constexpr int kLongestHold = 4096;

    // Whether the next upload should open a connection of its own.
    [[nodiscard]] bool Fresh() const { return m_fresh; }
    // The wait between an upload's answer head and its first body bytes.
    void Record(std::chrono::steady_clock::duration wait);

private:
    void Switch(bool fresh);

    bool m_fresh = false;
    int m_stalls = 0;  // stalled answers in a row since the last change
    int m_count = 0;   // answers since the last change
    int m_hold = 0;    // kept-alive answers to go before fresh connections may be tried again
    int m_nextHold = kFirstHold;
};

}  // namespace zk
