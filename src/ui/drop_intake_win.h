// Drop intake: files dropped on the balloon become an order. The intake registers the OLE drop
// target on the balloon, counts the files of a drag and of the drops not yet handled (the
// balloon paints the count), keeps the pool of drop threads and journals what a drop could not do.
// Threads: Start, Stop, the drag calls and StartDrop run on the main thread; the drop threads
// call OnFileDone, Finished, AuditFolder and Accepts. m_counts holds the counts with their lock;
// the drop-thread list is walked and changed under its own lock.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/agent.h"
#include "base/clock.h"
#include "base/guarded.h"
#include "intake/drop_order.h"
#include "tasks/locked_list.h"

namespace zk {

class DropIntake {
public:
    DropIntake(CAgent& agent, const IClock& clock) : m_agent(agent), m_clock(clock) {}
    ~DropIntake();
    DropIntake(const DropIntake&) = delete;
    DropIntake& operator=(const DropIntake&) = delete;

    // Takes drops on `window` (repainted as the counts change) from now on.
    void Start(HWND window);
    // No more drops; a drop in progress is completed first (its thread is waited for).
    void Stop();

    // The drop target's calls.
    void OnDragEnter(int files);
    void OnDragLeave();
    // Hands the paths of one drop to an idle (or new) drop thread.
    bool StartDrop(std::vector<std::wstring> paths);
    // A drop ended (or brought no file list): repaint without its count.
    void Finished();

    // The drop threads' calls.
    void OnFileDone();
    // A drop thread's order is made: its failures are journalled, then as above.
    void Finished(const DropOrderResult& result);
    [[nodiscard]] std::wstring AuditFolder() const;
    [[nodiscard]] bool Accepts(const std::wstring& path);
    [[nodiscard]] const IClock& Clock() const { return m_clock; }

    // Files dragged over the window or dropped and not yet handled.
    [[nodiscard]] int Pending() const;

private:
    void Repaint() const;
    void StopThreads();

    struct Counts {
        int pending = 0;    // files dragged over or dropped and not yet handled
        int dragFiles = 0;  // those of the drag now over the window
    };
    CAgent& m_agent;
    const IClock& m_clock;
    std::atomic<HWND> m_window{nullptr};
    Guarded<Counts> m_counts;
    CZKLockedList m_threads;  // entries' attached objects are CDropThread, deleted by Stop
};

}  // namespace zk
