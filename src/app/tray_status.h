// What the tray icon shows at a glance: idle, sending, or an error that needs a person (a
// refused login, a failed last upload, an order set aside), and a tip whose second line gives
// the queue, or which order was set aside and why.
// Threads: the session's and the folder audit's event handlers feed it on their threads; the
// main thread takes the latest state. m_mutex guards everything; a wake is asked for only when
// none is outstanding, so a burst of events costs the main thread one message.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>

namespace zk {

enum class TrayLook { kIdle = 0, kSending = 1, kAttention = 2, kPaused = 3 };

struct TrayState {
    TrayLook look = TrayLook::kIdle;
    int64_t tasks = 0, files = 0, kilobytes = 0;
    std::wstring notice;  // an order set aside: instead of the queue
    std::wstring paused;  // the sending paused, and until when: the tip's second line
    bool operator==(const TrayState&) const = default;
};

// "ZELTAVIO EXPRESS UPLOADER", a line break, the pause (while there is one) and the queue in the
// panel's words; at most 127 characters, which is all a tray tip holds.
[[nodiscard]] std::wstring TrayTip(const TrayState& state);

class CTrayStatus {
public:
    struct Queue {
        int64_t tasks = 0, files = 0, bytes = 0;
    };
    // Each gives true when the caller must wake the main thread (no wake is outstanding).
    bool OnAuthEvent(int code);
    // `stopped`: the failure was the user's stop (the program ending), which needs nobody.
    // `task`: the current task's name; an accepted file of the order set aside, or its end,
    // ends its notice.
    bool OnTransferEvent(int code, const Queue& queue, bool stopped = false, const std::wstring& task = {});
    // An order (a task's name) set aside for `reason`: it needs a person until it moves again.
    bool OnSetAside(const std::wstring& task, const std::wstring& reason);
    bool OnQueue(const Queue& queue);
    // The sending paused (`text` says until when) or, with an empty text, resumed.
    bool OnPause(const std::wstring& text);
    // The latest state, for the main thread; later changes ask for a new wake.
    TrayState Take();

private:
    bool Changed();  // m_mutex held

    std::mutex m_mutex;
    bool m_authRefused = false, m_uploadFailed = false;
    std::wstring m_asideTask, m_asideNotice, m_paused;
    Queue m_queue;
    TrayState m_taken;
    bool m_wakePending = false;
};

}  // namespace zk
