// What the application does with the session's events: journal lines in their fixed texts,
// the errors count and alert marks, the bandwidth and forecast of the statistics, server
// settings handed to the settings writer, and the refresh of the statistics rows.
// Threads: the handlers run on the upload-loop thread; RefreshStatistics also on the main
// thread when the window is shown. m_mutex guards the statistics numbers; row values are
// replaced under the row list's lock.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "base/local_time.h"
#include "session/velmo_connect.h"

namespace zk {

class CStatRows;
struct CZKListEntry;

struct EventHooks {
    std::function<void(const std::wstring& text)> journal;  // one stamped journal write
    std::function<void()> refreshIdentity;                  // MAC and IP rows, computer name
    std::function<std::wstring()> computerName, agentClass, auditFolder;
    std::function<bool()> windowVisible;
    std::function<void()> invalidateTable;
    std::function<int64_t()> counter;  // high-resolution counter
    int64_t counterFrequency = 1;
    std::function<int64_t()> now;  // seconds since 1970
    std::function<LocalTime(int64_t)> local;
    // A setting the server pushed, for the row it names (the settings writer validates and stores it).
    std::function<void(CZKListEntry& row, const std::wstring& value)> serverSetting;
    // Milliseconds of a coarse clock, read at every 1,024-byte step: it must cost no system call
    // (the high-resolution counter does under Wine). Without it the steps read `counter`.
    std::function<uint32_t()> stepTicks;
};

class CEventJournal {
public:
    static constexpr const wchar_t* kProgramVersion = L"3.40";

    CEventJournal(CStatRows& rows, EventHooks hooks) : m_rows(rows), m_hooks(std::move(hooks)) {}

    void OnAuthEvent(CVelmoConnect& session, int code);
    void OnTransferEvent(CVelmoConnect& session, int code);
    // Copies the session's state into the rows, only while the window is visible.
    void RefreshStatistics(CVelmoConnect& session);

    // The same on a copy of the session's state and its registry (null when none).
    void OnAuthEvent(const SessionSnapshot& s, CZKRBTree* registry, int code);
    void OnTransferEvent(const SessionSnapshot& s, CZKRBTree* registry, int code);
    void RefreshStatistics(const SessionSnapshot& s, CZKRBTree* registry);

    [[nodiscard]] int32_t ErrorsCount() const;
    [[nodiscard]] int32_t Bandwidth() const;

private:
    // The queue page's rows from the registry (only while that page is shown).
    void RefreshQueue(const SessionSnapshot& s, CZKRBTree& registry);
    void IdentityBlock(const SessionSnapshot& s);
    void Journal(const std::wstring& text) {
        if (m_hooks.journal) m_hooks.journal(text);
    }
    std::wstring Forecast(int64_t queuedBytes);
    // Bytes now and the kilobytes of the current file since its first event (m_mutex held).
    void CountBytes(uint64_t bytesSent);

    CStatRows& m_rows;
    EventHooks m_hooks;
    mutable std::mutex m_mutex;  // guards the numbers below
    int32_t m_errors = 0;
    int32_t m_bandwidth = 0;  // KB/s of the last accepted file
    int64_t m_start = 0, m_end = 0;
    uint64_t m_bytesMark = 0, m_bytesNow = 0;
    double m_seconds = 0;
    int64_t m_kilobytes = 0;
    int32_t m_filesSinceDrain = 0;
    uint32_t m_remaining = 0;
    int64_t m_lastStepRefresh = 0;  // clock value (stepTicks, or counter) of the last refresh after a step
};

}  // namespace zk
