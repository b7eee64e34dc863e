// The upload loop, body of CVelmoConnect::_CThread.
// Thread: the upload-loop thread runs Run(); the owner starts it and stops it through the stop
// event. With nothing to do it rests on its wake-up signal, which the registry raises when a
// task may have become ready and RequestReauthentication() and the stop raise too.
// Locks: the registry lock is held only for the selection walk and for the completion
// of a task (events 7 and 9 arrive under it); file items of the current task are read and
// changed without it, since no other worker touches a task in the states the loop takes.
// Task states and the registry's ledger are written under the registry lock. The session's
// m_mutex guards its strings. While a file's answer is awaited the next file's upload may run
// ahead on a thread of its own (upload_ahead.h); it touches no file item and no event.
#include <chrono>
#include <thread>
#include <vector>

#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "session/velmo_connect.h"

namespace zk {
namespace {
using namespace std::chrono_literals;

// How long the idle loop waits before it looks at the registry anyway (it is woken when work
// comes; this only guards against a wake-up that never came).
constexpr auto kIdleLook = 30s;

void SetTaskState(CZKRBTree& reg, CZKRBTreeNode* task, int32_t state) {
    std::lock_guard lock(reg.Mutex());
    task->state = state;
}

}  // namespace

void CVelmoConnect::Run() {
    int failures = 0;  // transient failures since the last forced re-authentication
    while (!Stopping()) {
        // Nothing but the stop event may end the thread: an unforeseen exception (memory, a
        // fault in an event handler) is journalled as a failed upload, and the loop goes on
        // after the failure pause.
        try {
            RunOnce(failures);
            continue;
        } catch (...) {
            RecordCaught(std::current_exception());
        }
        try {
            CancelUploads();
            RaiseTransfer(kTransferFailed);
        } catch (...) {  // the handler itself may be what fails
        }
        FailurePause();
    }
}

void CVelmoConnect::RunOnce(int& failures) {
    if (m_reauthenticate.exchange(false)) {
        ResetSession();
        RaiseTransfer(kTransferReauth);
    }
    if (!IsAuthenticated() && !Authenticate()) {
        if (LastErrorCode() != kErrStopped) FailurePause();
        return;
    }
    SetCurrentTask(nullptr);
    // Nothing to do: the loop waits to be woken (a task became ready, a re-authentication was
    // asked for, the stop) instead of looking again every 10 ms; it looks anyway now and then.
    if (!m_registry || m_registry->taskCount <= 0) {
        m_thread.Rest(kIdleLook);
        return;
    }
    CZKRBTreeNode* task = nullptr;
    CZKListEntry* first = nullptr;
    bool retried = false;
    {
        std::lock_guard lock(m_registry->Mutex());
        for (CZKRBTreeNode* t = m_registry->First(); t; t = t->nextArrival) {
            if (t->state == kTaskReady || t->state == kTaskEmpty) {
                task = t;
                break;
            }
            if (t->state == kTaskFailed) {
                t->state = kTaskReady;  // taken on a later pass
                retried = true;
            }
        }
        if (task) first = task->Files().First();
        SetCurrentTask(task);
    }
    if (!task) {
        if (!retried) m_thread.Rest(kIdleLook);  // a task set ready above is taken on the next pass
        return;
    }
    RaiseTransfer(kTransferTaskBegin);
    WorkOnTask(task, first, failures);
}

// The file uploaded after `f` once `f` is accepted, unless it is a content list: that one goes
// only after every other file was accepted, so it never goes ahead.
const CZKListEntry* CVelmoConnect::NextToGoAhead(const CZKListEntry* f) {
    for (const CZKListEntry* g = f->next; g; g = g->next) {
        if (g->state == kFileSent) continue;
        const std::wstring& name = g->sourceInLabel ? g->label : g->value;
        return name.find(kContentListMarker) == std::wstring::npos ? g : nullptr;
    }
    return nullptr;
}

void CVelmoConnect::WorkOnTask(CZKRBTreeNode* task, CZKListEntry* first, int& failures) {
    CZKListEntry* deferredItem = nullptr;
    bool revisited = false;
    CZKListEntry* it = first;
    // Runs the iterator on; at the end, once, back to the deferred content list.
    auto advance = [&](CZKListEntry* next) {
        if (!next && deferredItem && !revisited) {
            revisited = true;
            return deferredItem;
        }
        return next;
    };
    while (it) {
        CZKListEntry* f = it;
        if (f->state == kFileSent) {
            it = advance(f->next);
            continue;
        }
        const std::wstring name = f->sourceInLabel ? f->label : f->value;
        if (!deferredItem && name.find(kContentListMarker) != std::wstring::npos) {
            deferredItem = f;
            // A content list that is last is sent at once.
            if (f->next) {
                it = f->next;
                continue;
            }
            revisited = true;
        }
        FileIdentity sent;
        const CZKListEntry* following = NextToGoAhead(f);
        const std::wstring followingName = !following ? std::wstring() : following->sourceInLabel ? following->label : following->value;
        if (!UploadFile(name, &sent, following ? &followingName : nullptr)) {
            f->state = kFileFailed;
            const int32_t code = LastErrorCode();
            if (code == kErrStopped) {
                RaiseTransfer(kTransferTaskStopped);
                return;
            }
            if (code >= kErrFileNotFound && code <= kErrServerAnswer) {
                SetTaskState(*m_registry, task, kTaskFailed);
                FailurePause();
                RaiseTransfer(kTransferTaskStopped);
                return;
            }
            if (++failures >= 5) {
                failures = 0;
                ResetSession();
                RaiseTransfer(kTransferTaskStopped);
                return;
            }
            if (FailurePause()) {
                RaiseTransfer(kTransferTaskStopped);
                return;
            }
            continue;  // the same item again
        }
        // Accepted but still there (briefly locked, say): never sent again in this run while it
        // keeps the stamp of the bytes sent; its deletion is tried again at completion and later.
        // One that changed since it was opened for the upload is not what the server has: it
        // stays, and its folder is listed again once the task is done. A shortcut's own file is
        // not what was sent (its target was), so it goes as ever.
        const bool known = !f->sourceInLabel && !(sent == FileIdentity{});
        if (m_registry->DeleteDealtWith(f->value, known ? &sent : nullptr) == CZKRBTree::Dealt::Deleted) RaiseTransfer(kTransferDeleted);
        f->state = kFileSent;
        {
            std::lock_guard lock(m_mutex);
            m_state.currentFile.clear();
            ++m_state.filesSent;
        }
        m_registry->queuedBytes -= static_cast<int64_t>(f->size);
        if (m_reauthenticate.exchange(false)) {
            ResetSession();
            RaiseTransfer(kTransferReauth);
            return;  // the task keeps its state and resumes after the new authentication
        }
        it = advance(f->next);
    }
    CompleteTask(task);
}

void CVelmoConnect::CompleteTask(CZKRBTreeNode* task) {
    std::lock_guard lock(m_registry->Mutex());
    task->state = kTaskDone;
    RaiseTransfer(kTransferTaskDone);
    {
        std::lock_guard lock(m_mutex);
        ++m_state.tasksSent;
    }
    const std::wstring folder = task->Name();
    COrderLedger& ledger = m_registry->Ledger();
    // Accepted files whose deletion failed: once more now, unless they were rewritten since
    // (then they are a new version, which stays to be sent).
    for (const std::wstring& path : ledger.UndeletedIn(folder)) {
        FileStamp now;
        if (!StampOf(path, now) || !ledger.IsUndeleted(path, now)) {
            ledger.ForgetUndeleted(path);
            continue;
        }
        SetNormalAttributes(path);
        if (DeleteFileAt(path)) {
            SetCurrentFile(path);
            RaiseTransfer(kTransferDeleted);
            SetCurrentFile(L"");
        } else if (PathExists(path)) {
            continue;
        }
        ledger.ForgetUndeleted(path);
    }
    // The task leaves the registry whatever its folder's fate. A folder that cannot be emptied
    // holds files never accepted (they arrived after the listing, or the listing passes them
    // over) or accepted files that will not go: the folder audit looks at it, lists it again
    // when something in it can be sent, and otherwise sets it aside with one journalled
    // reason. So no order is ever listed again and again.
    if (!PathExists(folder) || DeleteFolderTree(folder)) ledger.ForgetFolder(folder);
    else ledger.MarkLeftOver(folder);
    // Removed before its event, so that the statistics refreshed by it count the queue without
    // it; the event names the task through the current task's name.
    m_registry->Remove(folder);
    RaiseTransfer(kTransferTaskRemoved);
    SetCurrentTask(nullptr);
}

bool CVelmoConnect::DeleteFolderTree(const std::wstring& folder) {
    std::vector<DirEntry> entries;
    if (ListFolder(folder, L"*.*", entries) == ListResult::Failed) return false;
    for (const DirEntry& e : entries)
        if (e.isFolder) DeleteFolderTree(folder + e.name + kPathSep);
    return RemoveFolder(folder);
}

}  // namespace zk
