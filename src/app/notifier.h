// The notifications a person sees beside the tray icon: an order sent, an order set aside, a
// refused login, a server out of reach for five minutes. At most one every ten seconds; what
// comes meanwhile waits and is merged ("Отправлено заказов: 3").
// Threads: the session's event handlers report on the upload loop's thread; the clock thread
// takes what is due. m_mutex guards everything.
#pragma once
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zk {

struct Notification {
    std::wstring title, text;
    bool error = false;
    // A click opens the first page that lists these rows.
    std::vector<std::wstring> pageKeys;
    bool operator==(const Notification&) const = default;
};

// "180 МБ", "350 КБ": a size as people read it.
[[nodiscard]] std::wstring SizeInWords(uint64_t bytes);

class CNotifier {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kGap{10};
    static constexpr std::chrono::minutes kUnreachableAfter{5};

    // `files`: the order's own files (a big file cut into chunks counts once).
    void OrderDone(const std::wstring& name, int64_t files, uint64_t bytes);
    void OrderSetAside(const std::wstring& name, const std::wstring& reason, const std::wstring& retryClock);
    // Said once until a login is accepted again (the agent tries again every few seconds).
    void LoginRefused(const std::wstring& reason);
    void LoginAccepted();
    // The server could not be reached (no connection, no name, a time-out); said once it has
    // lasted five minutes, and once per such stretch.
    void ServerUnreachable(const std::wstring& reason, Clock::time_point now);
    // Any answer of the server ends the stretch.
    void ServerAnswered();

    // What is due at `now`: nothing within ten seconds of the last one shown.
    std::optional<Notification> Take(Clock::time_point now);

private:
    struct Done {
        std::wstring name;
        int64_t files;
        uint64_t bytes;
    };
    std::mutex m_mutex;
    std::vector<Done> m_done;
    std::vector<std::wstring> m_asideNames;
    std::wstring m_asideText, m_refused, m_unreachableReason;
    std::optional<Clock::time_point> m_unreachableSince;
    bool m_unreachableSaid = false, m_unreachableDue = false, m_refusedSaid = false;
    std::optional<Clock::time_point> m_lastShown;
};

}  // namespace zk
