// The folder audit: a worker that scans the audit folder about once a second and turns every
// new order subfolder into a task of the registry it owns, with one file item per file,
// classified ready, in use or too big, plus a content list. An order that arrives whole (renamed
// or moved in) is taken at once; one that is being filled in place is taken once it has settled,
// so that it becomes one task with all its files. It also looks after order folders whose task
// is complete but which could not be emptied (see the registry's ledger).
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/fsys.h"
#include "base/guarded.h"
#include "base/zk_thread.h"
#include "intake/chunk_name.h"
#include "intake/settle_gate.h"
#include "intake/shortcut.h"
#include "tasks/task_registry.h"

namespace zk {

class CVelmoFolderAudit {
public:
    using Callback = void (*)(void* user, CVelmoFolderAudit* audit, int code);
    // 5 to 7 go beyond listing: a file already dealt with could be deleted at last; an order
    // folder that cannot be emptied is set aside; the watch of the audit folder failed and is
    // started again (LastNotice() says which and why: for 7 the platform's error number).
    enum Event { kEventTaskCreated = 1, kEventTaskListed = 3, kEventFileDeleted = 5, kEventOrderSetAside = 6, kEventWatchRestarted = 7 };
    struct Notice {
        std::wstring path;
        std::wstring reason;
    };

    CVelmoFolderAudit();
    CVelmoFolderAudit(const CVelmoFolderAudit&) = delete;
    CVelmoFolderAudit& operator=(const CVelmoFolderAudit&) = delete;
    // Stops the worker (waiting without a time-out), then the registry goes.
    ~CVelmoFolderAudit();

    // Refused (false) while the worker runs; otherwise stores the folder with one trailing
    // separator and starts the worker.
    bool Start(const std::wstring& folder);
    // Restarts the worker on a new folder unless `folder` equals the stored one (ignoring case).
    // Tasks already found stay queued. Always true.
    bool SetAuditFolder(const std::wstring& folder);
    void SetCallback(void* user, Callback callback) {
        m_user = user;
        m_callback = callback;
    }
    [[nodiscard]] std::wstring Folder() const;
    CZKRBTree& Registry() { return m_registry; }
    [[nodiscard]] bool IsRunning() const { return m_thread.IsRunning(); }
    // Stops the worker; the registry stays.
    void StopWorker() { m_thread.StopAndWait(); }
    // How long a folder filled in place must stay unchanged before it is taken, and an empty one
    // made in place stay empty (tests); only while the worker is stopped.
    void SetSettleQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds emptyQuiet = CSettleGate::kEmptyQuiet) {
        m_settle.SetQuiet(quiet, emptyQuiet);
    }
    // Full scans so far; the first one comes after the watch of the folder has begun (tests wait
    // for it before they move orders in).
    [[nodiscard]] uint64_t Scans() const { return m_scans.load(); }
    // What the last event 5 or 6 was about (for its handler, on the audit's thread).
    [[nodiscard]] Notice LastNotice() const;

    // Written by the settings writer on another thread.
    std::atomic<bool> contentListFlag{false};
    std::atomic<uint64_t> sizeLimit{0};  // bytes; 0 means no limit

private:
    class _CThread : public CZKEventThread {
    public:
        explicit _CThread(CVelmoFolderAudit* owner) : m_owner(owner) {}
        ~_CThread() override { StopAndWait(); }

    protected:
        unsigned ThreadBody() override;

    private:
        CVelmoFolderAudit* m_owner;
    };

    // What one entry of an order folder is to the audit.
    enum class EntryKind {
        Send,           // a file (or a shortcut's target) to list
        DeadShortcut,   // a shortcut whose target is gone: passed over
        LeftoverChunk,  // a chunk beside its source: left over from an interrupted split
        AlreadyDone,    // accepted (or cut into chunks) earlier in this run, not deleted yet
        Subfolder,      // subfolders of an order are never listed
    };
    struct Entry {
        EntryKind kind = EntryKind::Send;
        ShortcutInfo link;  // set for a resolvable shortcut
        ChunkNameInfo chunk;
    };

    void Run();
    // A full scan, or a quick look at folders that arrived whole only (`full` false). `first`:
    // the first full scan since the worker started, whose folders were there before it.
    void ScanFolder(const std::wstring& folder, uint64_t limit, bool full, bool first = false);
    // Registry lock held. For a folder the watch saw arrive by a rename or a move, at its first
    // look: true when it holds something and none of its files is in use. An empty one, or one
    // being written, is filled in place after all (a new folder that a person renamed before
    // pasting into it, a program that renames first and writes after) and must settle; the
    // settle gate is told that it arrived.
    bool ArrivedWhole(const std::wstring& name, const std::wstring& path);
    // Registry lock held. One look of the settle gate at a folder filled in place (`arrived`: see
    // CSettleGate::Look).
    bool HasSettled(const std::wstring& path, bool arrived = false);
    // Registry lock held. Deletes the chunks beside their source in `path`; false while one of
    // them will not go.
    bool DeleteLeftoverChunks(const std::wstring& path);
    // Registry lock held. Whether a file among `entries` of `path` is open elsewhere.
    bool AnyInUse(const std::wstring& path, const std::vector<DirEntry>& entries);
    void RecheckWaiting(uint64_t limit);
    void ListNewTask(CZKRBTreeNode* task, uint64_t limit);
    // Registry lock held. A ledger entry whose file changed or went is forgotten here.
    Entry Classify(const std::wstring& full, const DirEntry& e);
    // Registry lock held. For a folder in the ledger: true when it is to be listed now.
    bool ShouldList(const std::wstring& folder, const COrderLedger::FolderRecord& record);
    // Registry lock held. Files of `folder` already dealt with: deleted if they can be now.
    void RetryDeletions(const std::wstring& folder);
    // Registry lock held. An accepted file the ledger remembers: deleted if it will go now,
    // then forgotten and journalled.
    void DeleteAlreadyDone(const std::wstring& path);
    void Announce(int code, std::wstring path, std::wstring reason);
    void Notify(int code) {
        if (m_callback) m_callback(m_user, this, code);
    }

    void* m_user = nullptr;
    Callback m_callback = nullptr;
    // The audit thread's own: folders filled in place on their way to settling, and the names
    // of folders the watch saw arrive by a rename or a move, not looked at yet.
    CSettleGate m_settle;
    std::set<std::wstring> m_movedIn;
    bool m_heldBack = false;  // a settled folder waits for its leftover chunks to go
    std::atomic<uint64_t> m_scans{0};
    Guarded<Notice> m_notice;
    mutable std::mutex m_folderMutex;  // guards m_folder (replaced only while the worker is stopped)
    std::wstring m_folder;
    CZKRBTree m_registry;
    _CThread m_thread{this};  // declared last: stopped first
};

}  // namespace zk
