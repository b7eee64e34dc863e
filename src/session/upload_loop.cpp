// The upload loop, body of CVelmoConnect::_CThread.
// Thread: the upload-loop thread runs Run(); the owner starts it and stops it through the stop
// event. With nothing to do it rests on its wake-up signal, which the registry raises when a
// task may have become ready and RequestReauthentication() and the stop raise too.
// Locks: the registry lock is held only for the selection walk and for the completion
// of a task (events 7 and 9 arrive under it); file items of the current task are read and
// changed without it, since no other worker touches a task in the states the loop takes.
// Task states, the tasks' failure records and the registry's ledger are written under the
// registry lock. The session's m_mutex guards its strings. While a file's answer is awaited the
// next file's upload may run ahead on a thread of its own (upload_ahead.h); it touches no file
// item and no event.
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

const std::wstring& UploadName(const CZKListEntry& f) { return f.sourceInLabel ? f.label : f.value; }

}  // namespace

std::chrono::minutes CVelmoConnect::AsidePause(int n) {
    return std::chrono::minutes(n >= 5 ? 30 : std::min(30, 1 << std::max(n, 0)));
}

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
    m_tryNow = false;  // it cuts a pause that began before it was asked for
    if (Paused()) {
        SetCurrentTask(nullptr);
        m_thread.Rest(kIdleLook);  // Resume() wakes it
        return;
    }
    if (m_reauthenticate.exchange(false)) {
        ResetSession();
        RaiseTransfer(kTransferReauth);
    }
    if (!IsAuthenticated()) {
        if (!Authenticate()) {
            m_loginRefused = LastErrorCode() != kErrStopped && LastErrorCode() != kErrPaused;
            if (m_loginRefused) FailurePause();
            return;
        }
        // A login after refused ones: the server (or what it is told) changed, so the orders set
        // aside may go now.
        if (std::exchange(m_loginRefused, false)) EndAsidePauses();
    }
    if (m_retryAside.exchange(false)) EndAsidePauses();
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
    const auto now = m_now();
    auto nextRetry = now + kIdleLook;
    {
        std::lock_guard lock(m_registry->Mutex());
        for (CZKRBTreeNode* t = m_registry->First(); t; t = t->nextArrival) {
            if (t->retryAt > now) {  // set aside: the orders behind it go meanwhile
                nextRetry = std::min(nextRetry, t->retryAt);
                continue;
            }
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
        // A task set ready above is taken on the next pass; one set aside when its pause ends.
        if (!retried) m_thread.Rest(std::chrono::ceil<std::chrono::milliseconds>(nextRetry - now));
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
        return IsContentListPath(UploadName(*g)) ? nullptr : g;
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
        const std::wstring name = UploadName(*f);
        if (!deferredItem && IsContentListPath(name)) {
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
        const std::wstring followingName = following ? UploadName(*following) : std::wstring();
        if (!UploadFile(name, &sent, following ? &followingName : nullptr)) {
            f->state = kFileFailed;
            if (LeaveAfterFailure(task, f, failures)) return;
            continue;  // the same item again
        }
        {
            std::lock_guard lock(m_registry->Mutex());
            task->failures = 0;
        }
        // Accepted but still there (briefly locked, say): never sent again in this run while it
        // is the version sent; its deletion is tried again at completion and later. One that
        // changed since it was opened for the upload is not what the server has: it stays, and
        // its folder is listed again once the task is done. One whose identity could not be read
        // is never deleted. A shortcut's own file is not what was sent (its target was), so it
        // goes as ever.
        if (!f->sourceInLabel && sent == FileIdentity{}) m_registry->KeepDealtWith(f->value);
        else if (m_registry->DeleteDealtWith(f->value, f->sourceInLabel ? nullptr : &sent) == CZKRBTree::Dealt::Deleted)
            RaiseTransfer(kTransferDeleted);
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

bool CVelmoConnect::LeaveAfterFailure(CZKRBTreeNode* task, const CZKListEntry* f, int& failures) {
    const int32_t code = LastErrorCode();
    if (code == kErrPaused) return true;  // the task stays ready; its file goes again after the pause
    if (code == kErrStopped) {
        RaiseTransfer(kTransferTaskStopped);
        return true;
    }
    bool aside;
    {
        std::lock_guard lock(m_registry->Mutex());
        aside = ++task->failures >= kFailuresBeforeAside;
    }
    if (code >= kErrFileNotFound && code <= kErrServerAnswer) {  // the task is at fault
        SetTaskState(*m_registry, task, kTaskFailed);
        if (aside) StepAside(task, f);
        FailurePause();
        RaiseTransfer(kTransferTaskStopped);
        return true;
    }
    if (++failures >= 5) {
        failures = 0;
        ResetSession();
    } else if (!aside) {
        if (!FailurePause()) return false;  // the same file again
        RaiseTransfer(kTransferTaskStopped);
        return true;
    }
    // A file the server keeps refusing must not hold the orders behind it.
    if (aside) StepAside(task, f);
    RaiseTransfer(kTransferTaskStopped);
    return true;
}

void CVelmoConnect::StepAside(CZKRBTreeNode* task, const CZKListEntry* f) {
    std::chrono::minutes pause;
    int32_t times;
    {
        std::lock_guard lock(m_registry->Mutex());
        pause = AsidePause(task->asides++);
        times = task->asides;
        task->failures = 0;
        task->state = kTaskFailed;
        task->retryAt = m_now() + pause;
    }
    SetAsideOrder a;
    int32_t status;
    {
        std::lock_guard lock(m_mutex);
        a.task = task->Name();
        a.file = UploadName(*f);
        // What the server said: its status with the status text, or the text of the failure.
        const bool refused = m_state.answerStatus != 0 && m_state.answerStatus != 200 && m_state.lastErrorCode == m_state.answerStatus;
        status = refused ? m_state.answerStatus : 0;
        a.reason = refused ? std::to_wstring(m_state.answerStatus) + L" " + m_state.lastErrorText : m_state.lastErrorText;
        a.retrySeconds = std::chrono::duration_cast<std::chrono::seconds>(pause).count();
        a.times = times;
        m_state.setAside = a;
    }
    {
        std::lock_guard lock(m_registry->Mutex());
        task->asideFile = FileNamePart(a.file);
        task->asideReason = a.reason;
        task->asideStatus = status;
    }
    RaiseTransfer(kTransferTaskAside);
}

void CVelmoConnect::EndAsidePauses() {
    if (!m_registry) return;
    std::lock_guard lock(m_registry->Mutex());
    for (CZKRBTreeNode* t = m_registry->First(); t; t = t->nextArrival) t->retryAt = {};
}

void CVelmoConnect::CompleteTask(CZKRBTreeNode* task) {
    std::lock_guard lock(m_registry->Mutex());
    task->state = kTaskDone;
    // Whatever a handler or the clean-up throws, the task leaves the registry: one left in it
    // would keep its folder from the folder audit for the rest of the run. The first fault goes
    // on to the loop afterwards, which journals it.
    std::exception_ptr fault;
    const auto keep = [&fault] {
        if (!fault) fault = std::current_exception();
    };
    try {
        RaiseTransfer(kTransferTaskDone);
    } catch (...) {
        keep();
    }
    {
        std::lock_guard lock(m_mutex);
        ++m_state.tasksSent;
    }
    const std::wstring folder = task->Name();
    try {
        CleanUpFolder(folder);
    } catch (...) {
        keep();
    }
    // Removed before its event, so that the statistics refreshed by it count the queue without
    // it; the event names the task through the current task's name.
    m_registry->Remove(folder);
    try {
        RaiseTransfer(kTransferTaskRemoved);
    } catch (...) {
        keep();
    }
    SetCurrentTask(nullptr);
    if (fault) std::rethrow_exception(fault);
}

void CVelmoConnect::CleanUpFolder(const std::wstring& folder) {
    COrderLedger& ledger = m_registry->Ledger();
    // Accepted files whose deletion failed: once more now, unless they were rewritten since
    // (then they are a new version, which stays to be sent).
    for (const std::wstring& path : ledger.UndeletedIn(folder)) {
        const CZKRBTree::Dealt dealt = m_registry->DeleteUndeleted(path);
        if (dealt == CZKRBTree::Dealt::Deleted) {
            SetCurrentFile(path);
            RaiseTransfer(kTransferDeleted);
            SetCurrentFile(L"");
        }
    }
    // A folder that cannot be emptied holds files never accepted (they arrived after the
    // listing, or the listing passes them over) or accepted files that will not go: the folder
    // audit looks at it, lists it again when something in it can be sent, and otherwise sets it
    // aside with one journalled reason. So no order is ever listed again and again.
    if (!PathExists(folder) || DeleteFolderTree(folder)) ledger.ForgetFolder(folder);
    else ledger.MarkLeftOver(folder);
}

bool CVelmoConnect::DeleteFolderTree(const std::wstring& folder) {
    std::vector<DirEntry> entries;
    if (ListFolder(folder, L"*.*", entries) == ListResult::Failed) return false;
    for (const DirEntry& e : entries)
        if (e.isFolder) DeleteFolderTree(folder + e.name + kPathSep);
    return RemoveFolder(folder);
}

}  // namespace zk
