// The task registry: a red-black tree of tasks keyed by the digest of the task name, with a
// second chain of the same tasks in arrival order. One recursive lock guards the tree, the
// arrival chain and every task's state; other threads hold it (Mutex()) while they walk.
// Lock order: the registry lock before a task's file-list lock.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/file_identity.h"
#include "base/wake_signal.h"
#include "tasks/digest.h"
#include "tasks/locked_list.h"
#include "tasks/order_ledger.h"

namespace zk {

// Task states.
enum TaskState : int32_t {
    kTaskFailed = 0,     // an upload or split failed; waits one pass
    kTaskBuilding = 1,   // the intake is still adding file items
    kTaskEmpty = 2,      // complete, without file items
    kTaskSplit = 3,      // at least one item must be split
    kTaskWaiting = 4,    // at least one file cannot be opened yet
    kTaskReady = 5,      // ready to be uploaded
    kTaskDone = 6,       // all files handled
};

class CZKRBTree;

class CZKRBTreeNode {
public:
    // With no digest given it is computed from the name.
    CZKRBTreeNode(std::wstring name, const Digest* digest, CZKRBTree* registry, bool black);
    CZKRBTreeNode(const CZKRBTreeNode&) = delete;
    CZKRBTreeNode& operator=(const CZKRBTreeNode&) = delete;
    virtual ~CZKRBTreeNode();

    // File items; each changes the registry's file count.
    CZKListEntry* AddFile(std::wstring key, std::wstring value, std::wstring label);
    CZKListEntry* InsertFile(CZKListEntry* before, std::wstring key, std::wstring value, std::wstring label);
    // Removes and destroys the item; gives the item that followed it.
    CZKListEntry* RemoveFile(CZKListEntry* item);

    [[nodiscard]] std::wstring Name() const { return m_name; }
    [[nodiscard]] const Digest& GetDigest() const { return m_digest; }
    CZKLockedList& Files() { return m_files; }
    const CZKLockedList& Files() const { return m_files; }

    // Task state; read and written under the registry lock.
    int32_t state = kTaskBuilding;
    // The upload loop's record of the task's failures, under the registry lock: failed uploads in
    // a row, and how often the task stepped aside for them. One set aside stays failed and is
    // not taken before `retryAt`.
    int32_t failures = 0;
    int32_t asides = 0;
    std::chrono::steady_clock::time_point retryAt{};
    // Why it was set aside last, for the people who ask where their order is: the file, the
    // server's status (0 when none came) and the failure's text.
    std::wstring asideFile, asideReason;
    int32_t asideStatus = 0;

    // Tree and arrival links, owned by the registry.
    CZKRBTree* registry;
    CZKRBTreeNode* parent = nullptr;
    CZKRBTreeNode* left = nullptr;
    CZKRBTreeNode* right = nullptr;
    CZKRBTreeNode* prevArrival = nullptr;
    CZKRBTreeNode* nextArrival = nullptr;
    bool black;

private:
    std::wstring m_name;
    Digest m_digest{};
    CZKLockedList m_files;
};

class CZKRBTree {
public:
    CZKRBTree();
    CZKRBTree(const CZKRBTree&) = delete;
    CZKRBTree& operator=(const CZKRBTree&) = delete;
    virtual ~CZKRBTree();

    // A new task in state 1, appended to the arrival chain; null when a task with the same
    // digest is registered (or memory runs out).
    CZKRBTreeNode* Insert(const std::wstring& name);
    // True when a task of that digest was found and removed with its file items.
    bool Remove(const std::wstring& name);
    // The task registered under the digest of `name`, or null.
    CZKRBTreeNode* Find(const std::wstring& name) const;
    // Destroys every task; the registry stays usable.
    void Empty();

    std::recursive_mutex& Mutex() const { return m_mutex; }
    // Files and folders remembered beyond the tasks; only with the lock held.
    COrderLedger& Ledger() { return m_ledger; }
    // Deletes a file the server accepted (or a big file its chunks stand for), checked and
    // deleted through one handle (DeleteIfSame). `dealt`, when known, is the identity of the
    // bytes dealt with (taken when the file was opened for them): a file that no longer has it
    // was rewritten or replaced since, and stays, unrecorded, to be sent as its new self. One
    // that will not go is remembered in the ledger with the identity of the bytes dealt with, so
    // it is never sent again while unchanged. Any thread; takes the lock only to record.
    enum class Dealt { Deleted, Recorded, Changed };
    Dealt DeleteDealtWith(const std::wstring& path, const FileIdentity* dealt = nullptr);
    // A file accepted whose identity is unknown: never deleted (what is there may not be what was
    // sent), remembered in the ledger as it is now, so it is not sent again while unchanged.
    void KeepDealtWith(const std::wstring& path);
    // Lock held. A file the ledger remembers: deleted now if it still is the version recorded
    // (Deleted), forgotten if it is gone or another version (Changed), else kept (Recorded).
    Dealt DeleteUndeleted(const std::wstring& path);
    // Lock held. Whether the file at `path` is one the ledger remembers, in that version.
    [[nodiscard]] bool IsUndeletedNow(const std::wstring& path) const;

    // Workers that wait for tasks to become theirs (the upload loop, the splitter) listen here;
    // whoever sets a task to a state another worker takes calls NotifyWork(). Any thread.
    void AddWorkListener(WakeSignal* listener);
    void RemoveWorkListener(WakeSignal* listener);
    void NotifyWork();
    [[nodiscard]] CZKRBTreeNode* First() const { return m_first; }
    [[nodiscard]] CZKRBTreeNode* Last() const { return m_last; }
    [[nodiscard]] const CZKRBTreeNode* Root() const { return m_root; }
    [[nodiscard]] const CZKRBTreeNode* Sentinel() const { return m_nil; }

    // Counters: written by several threads, read by the statistics.
    std::atomic<int32_t> waitingTasks{0};   // tasks in state 4, kept by the folder audit
    std::atomic<int32_t> taskCount{0};
    std::atomic<int32_t> fileCount{0};
    std::atomic<int64_t> queuedBytes{0};

    // Order of tasks: the digest as two signed 64-bit little-endian halves.
    static int CompareDigests(const Digest& a, const Digest& b);

private:
    // Rotates x down towards the child side `side` (&CZKRBTreeNode::left or ::right).
    void Rotate(CZKRBTreeNode* x, CZKRBTreeNode* CZKRBTreeNode::* side);
    void InsertFixup(CZKRBTreeNode* z);
    void Transplant(CZKRBTreeNode* u, CZKRBTreeNode* v);
    void DeleteFixup(CZKRBTreeNode* x);
    CZKRBTreeNode* FindLocked(const Digest& d) const;

    mutable std::recursive_mutex m_mutex;  // guards tree, arrival chain, task states and the ledger
    COrderLedger m_ledger;
    std::vector<WakeSignal*> m_listeners;  // guarded by m_mutex
    CZKRBTreeNode* m_nil;
    CZKRBTreeNode* m_root;
    CZKRBTreeNode* m_first = nullptr;
    CZKRBTreeNode* m_last = nullptr;
};

}  // namespace zk
