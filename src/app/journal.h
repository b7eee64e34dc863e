// The daily journal: one UTF-8 file per day in the to-do folder, lines stamped with local date
// and time; past days' journals rotate into the done folder and, when wanted, into a hand-over
// order folder in the audit folder so that the agent uploads them like any order.
// Threads: lines come from the main thread and from workers (event handlers); rotation runs on
// the main thread at start-up and on the clock thread. m_mutex serialises whole lines against
// each other and against the replacement of the stream.
#pragma once
#include <cstdio>
#include <mutex>
#include <string>

#include "base/clock.h"
#include "base/fsys.h"

namespace zk {

struct JournalSettings {
    std::wstring agentClass;
    std::wstring mac;
    std::wstring logsFolder;   // L
    std::wstring auditFolder;  // A
    bool handOver = false;     // "log" in the file types
};

class CJournal {
public:
    explicit CJournal(const IClock& clock) : m_clock(clock) {}

    // Creates the to-do and done folders, builds today's name, replaces the open stream.
    std::wstring OpenDay(const JournalSettings& settings);
    // Opens today's journal, then moves every older one to the done folder (and a copy into a
    // hand-over order when wanted). False when today's journal could not be opened or an older
    // one could not be handed over or moved; a journal that cannot be moved stays where it is.
    [[nodiscard]] bool Rotate(const JournalSettings& settings);
    // Writes the stamp (when asked) and the text as they stand, then flushes. Without an open
    // stream (today's file could not be opened) the opening is tried again, at most every
    // kReopenPauseMs, and the line is dropped if it still fails.
    void Write(const std::wstring& text, bool stamp = true);
    [[nodiscard]] bool IsOpen() const;
    // Writes the last line and closes the stream under one lock: a worker still running may not
    // slip a line in after it. Later lines are dropped.
    void WriteLastAndClose(const std::wstring& text);
    void Close();

    [[nodiscard]] std::wstring CurrentPath() const;
    // The folder of the current journals under a logs folder.
    static std::wstring TodoFolderOf(const std::wstring& logsFolder);
    // "YYYY.MM.DD\tHH:MM:SS\t" of the current time.
    [[nodiscard]] std::wstring Stamp() const;
    // The journal file name of a day.
    static std::wstring FileName(const std::wstring& agentClass, const std::wstring& mac, const LocalTime& day);

private:
    std::wstring HandOverStamp() const;
    void WriteLocked(const std::string& bytes);  // m_mutex held
    void OpenLocked();                            // m_mutex held

    static constexpr uint32_t kReopenPauseMs = 10000;

    const IClock& m_clock;
    mutable std::mutex m_mutex;  // guards every member below
    UniqueStream m_stream;
    std::wstring m_currentPath, m_currentName;
    bool m_closed = false;        // closed on purpose: no reopening
    uint32_t m_lastOpenTick = 0;  // when the opening was last tried

};

}  // namespace zk
