// What the tray icon shows at a glance: idle, sending, or an error that needs a person (a
// refused login, a failed last upload), and a tip whose second line gives the queue.
// Threads: the session's and the folder audit's event handlers feed it on their threads; the
// main thread takes the latest state. m_mutex guards everything; a wake is asked for only when
// none is outstanding, so a burst of events costs the main thread one message.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>

namespace zk {

enum class TrayLook { kIdle = 0, kSending = 1, kAttention = 2 };

struct TrayState {
    TrayLook look = TrayLook::kIdle;
    int64_t tasks = 0, files = 0, kilobytes = 0;
    bool operator==(const TrayState&) const = default;
};

// "ZELTAVIO EXPRESS UPLOADER", a line break, and the queue in the panel's words; at most 127
// characters, which is all a tray tip holds.
[[nodiscard]] std::wstring TrayTip(const TrayState& state);

class CTrayStatus {
public:
    struct Queue {
        int64_t tasks = 0, files = 0, bytes = 0;
    };
    // Each gives true when the caller must wake the main thread (no wake is outstanding).
    bool OnAuthEvent(int code);
    // `stopped`: the failure was the user's stop (the program ending), which needs nobody.
    bool OnTransferEvent(int code, const Queue& queue, bool stopped = false);
    bool OnQueue(const Queue& queue);
    // The latest state, for the main thread; later changes ask for a new wake.
    TrayState Take();

private:
    bool Changed();  // m_mutex held

    std::mutex m_mutex;
    bool m_authRefused = false, m_uploadFailed = false;
    Queue m_queue;
    TrayState m_taken;
    bool m_wakePending = false;
};

}  // namespace zk
