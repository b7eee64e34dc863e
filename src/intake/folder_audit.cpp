// Worker thread of the folder audit.
// Thread: CVelmoFolderAudit::_CThread runs Run(); the owner (main thread) starts and stops it.
// Run() owns a FolderWatch whose own thread raises this thread's wake-up when a subfolder
// appears in the audit folder and notes the ones that arrived whole. The settle gate and the
// moved-in names belong to this thread alone.
// Locks: the registry lock is held for the whole second look at waiting tasks and for the
// whole listing of one new task, so no other thread ever sees a task half built; a task's own
// file-list lock is taken inside it by the list operations. m_folderMutex guards the folder
// path for readers on other threads; the path is replaced only while the worker is stopped.
#include "intake/folder_audit.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "base/folder_watch.h"
#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "intake/content_list.h"

namespace zk {
namespace {
using namespace std::chrono_literals;
void Nap() { std::this_thread::sleep_for(1ms); }
}  // namespace

CVelmoFolderAudit::CVelmoFolderAudit() = default;

CVelmoFolderAudit::~CVelmoFolderAudit() { m_thread.StopAndWait(); }

std::wstring CVelmoFolderAudit::Folder() const {
    std::lock_guard lock(m_folderMutex);
    return m_folder;
}

bool CVelmoFolderAudit::Start(const std::wstring& folder) {
    if (m_thread.IsRunning()) return false;
    {
        std::lock_guard lock(m_folderMutex);
        m_folder = WithTrailingSeparator(folder);
    }
    return m_thread.Start();
}

bool CVelmoFolderAudit::SetAuditFolder(const std::wstring& folder) {
    if (EqualsNoCase(folder, Folder())) return true;
    m_thread.StopAndWait();
    {
        std::lock_guard lock(m_folderMutex);
        m_folder = WithTrailingSeparator(folder);
    }
    m_thread.Start();
    return true;
}

unsigned CVelmoFolderAudit::_CThread::ThreadBody() {
    if (m_owner) m_owner->Run();
    return 0;
}

// A full scan about every second, as ever; between them, a subfolder that appears in the audit
// folder wakes the thread for a quick look, which takes the orders that arrived whole. Folders
// filled in place wait for the full scans, one look each, until they have settled. A full scan
// of an audit folder that has not changed since the last one (its write time is the same), with
// no task waiting, no folder set aside, settling or held back, finds nothing: it costs one look at
// the folder's time instead of a listing, and every tenth one lists anyway.
void CVelmoFolderAudit::Run() {
    const std::wstring folder = Folder();
    FolderWatch watch(m_thread.Wake());
    auto nextScan = std::chrono::steady_clock::now();
    int64_t listedTime = -1;  // the folder's write time at the last full listing
    int unlisted = 0;         // full scans since then that found it unchanged
    bool first = true;        // no full scan yet
    while (!m_thread.ShouldStop()) {
        // Without its watch, orders moved in would wait for the settle rule for the rest of the run.
        if (uint32_t error = 0; watch.Failed(&error)) {
            watch.Stop();
            Announce(kEventWatchRestarted, folder, std::to_wstring(error));
        }
        const int64_t writeTime = WriteTimeOf(folder);
        if (writeTime < 0) {
            // The folder went while it was watched: the watch ended with it, whether or not its
            // thread has said so yet. Said once; it starts again when the folder is back.
            if (watch.Active()) {
                uint32_t error = kFolderGoneError;
                if (uint32_t reported = 0; watch.Failed(&reported)) error = reported;
                watch.Stop();
                Announce(kEventWatchRestarted, folder, std::to_wstring(error));
            }
            listedTime = -1;
            if (PauseUnlessStopped(m_thread.StopEvent(), 1000ms)) break;
            continue;
        }
        if (!watch.Active()) watch.Start(folder);
        for (std::wstring& name : watch.TakeMovedIn()) m_movedIn.insert(std::move(name));
        const bool full = std::chrono::steady_clock::now() >= nextScan;
        if (full) {
            bool unchanged = writeTime == listedTime && unlisted < 9 && m_settle.Empty() && m_movedIn.empty() && !m_heldBack;
            if (unchanged) {
                std::lock_guard lock(m_registry.Mutex());
                unchanged = m_registry.waitingTasks == 0 && m_registry.Ledger().FolderCount() == 0;
            }
            if (unchanged) {
                ++unlisted;
            } else {
                listedTime = writeTime;
                unlisted = 0;
                ScanFolder(folder, sizeLimit.load(), true, std::exchange(first, false));
            }
            nextScan = std::chrono::steady_clock::now() + 1000ms;
            ++m_scans;
        } else {
            ScanFolder(folder, sizeLimit.load(), false);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(nextScan - std::chrono::steady_clock::now());
        if (m_thread.Rest(std::max(left, 0ms))) break;
    }
}

void CVelmoFolderAudit::ScanFolder(const std::wstring& folder, uint64_t limit, bool full, bool first) {
    std::vector<DirEntry> entries;
    if (ListFolder(folder, L"*.*", entries) == ListResult::Failed) {
        Nap();
        return;
    }
    std::set<std::wstring> present;  // candidate folders of this full scan
    if (full) m_heldBack = false;
    for (const DirEntry& e : entries) {
        // Folders still being filled by the drop intake are not orders yet.
        if (!e.isFolder || e.name.rfind(L"TMPUPLOAD_", 0) == 0) {
            Nap();
            continue;
        }
        const std::wstring path = folder + e.name + kPathSep;
        present.insert(path);
        std::lock_guard lock(m_registry.Mutex());
        if (full && m_registry.waitingTasks > 0) {
            RecheckWaiting(limit);
            Nap();
        }
        if (m_registry.Find(path)) continue;  // its task is in the queue
        const COrderLedger::FolderRecord* record = m_registry.Ledger().Find(path);
        if (!full) {
            // A quick look takes only what arrived whole; the rest is the full scans' to settle.
            if (record || !m_movedIn.count(e.name) || !ArrivedWhole(e.name, path)) continue;
        } else if (record) {
            // Files that arrived in a finished order's folder are sent once they have settled (an
            // emptied one is an order's, not a new folder a person is naming).
            if (!ShouldList(path, *record) || !HasSettled(path, true)) continue;
        } else if (!(m_movedIn.count(e.name) && ArrivedWhole(e.name, path)) && !HasSettled(path, first)) {
            continue;
        }
        m_settle.Forget(path);
        // Chunks left over from an interrupted split go before the listing; while one will not,
        // the order waits, so that no part of an old set can reach the server beside the new one.
        if (!DeleteLeftoverChunks(path)) {
            m_heldBack = true;
            continue;
        }
        CZKRBTreeNode* task = m_registry.Insert(path);
        if (task) ListNewTask(task, limit);
    }
    if (!full) return;
    m_settle.KeepOnly(present);
    std::erase_if(m_movedIn, [&](const std::wstring& name) { return !present.count(folder + name + kPathSep); });
}

bool CVelmoFolderAudit::ArrivedWhole(const std::wstring& name, const std::wstring& path) {
    std::vector<DirEntry> entries;
    const ListResult listed = ListFolder(path, L"*.*", entries);
    // A folder that cannot be listed yet (Wine, under load, just after the rename) is looked at
    // again; otherwise one look decides.
    if (listed == ListResult::Failed) return false;
    m_movedIn.erase(name);
    if (listed == ListResult::Ok && !AnyInUse(path, entries)) return true;
    // Filled in place after all: the settle gate takes it from here, knowing that it arrived (an
    // empty one is an empty order, not a new folder a person is naming).
    (void)HasSettled(path, true);
    return false;
}

bool CVelmoFolderAudit::HasSettled(const std::wstring& path, bool arrived) {
    std::vector<DirEntry> entries;
    if (ListFolder(path, L"*.*", entries) == ListResult::Failed) return false;
    return m_settle.Look(path, ListingSignature(entries), CSettleGate::Clock::now(), [&] { return AnyInUse(path, entries); }, arrived);
}

bool CVelmoFolderAudit::DeleteLeftoverChunks(const std::wstring& path) {
    std::vector<DirEntry> entries;
    if (ListFolder(path, L"*.*", entries) != ListResult::Ok) return true;
    bool all = true;
    for (const DirEntry& e : entries) {
        if (e.isFolder) continue;
        const ChunkNameInfo chunk = ParseChunkName(path + e.name);
        if (!chunk.isChunk || !chunk.sourceExists) continue;
        SetNormalAttributes(path + e.name);
        if (!DeleteFileAt(path + e.name)) all = false;
    }
    return all;
}

bool CVelmoFolderAudit::AnyInUse(const std::wstring& path, const std::vector<DirEntry>& entries) {
    for (const DirEntry& e : entries) {
        if (e.isFolder || m_registry.IsUndeletedNow(path + e.name)) continue;  // an accepted file that will not go yet
        if (IsFileLocked(path + e.name)) return true;
    }
    return false;
}

void CVelmoFolderAudit::RecheckWaiting(uint64_t limit) {
    for (CZKRBTreeNode* task = m_registry.First(); task; task = task->nextArrival) {
        if (task->state != kTaskWaiting) continue;
        bool anyInUse = false, anyTooBig = false;
        for (CZKListEntry* f = task->Files().First(); f; f = f->next) {
            // An item found too big at listing still needs the splitter.
            if (f->state == kFileTooBig) anyTooBig = true;
            if (f->state != kFileInUse) continue;
            const std::wstring data = f->sourceInLabel ? f->label : f->value;
            if (IsFileLocked(data)) {
                anyInUse = true;
                continue;
            }
            // The size recorded at listing is from while the file was being written: a file
            // that grew past the limit since must be split, not sent whole.
            if (const int64_t now = FileSizeOf(data); now >= 0 && static_cast<uint64_t>(now) != f->size) {
                m_registry.queuedBytes += now - static_cast<int64_t>(f->size);
                f->size = static_cast<uint64_t>(now);
            }
            // A chunk is never split again, whatever its size (also one that was in use at listing).
            if (limit != 0 && f->size > limit && !ParseChunkName(data).isChunk) {
                f->state = kFileTooBig;
                anyTooBig = true;
            } else {
                f->state = kFileReady;
            }
        }
        if (anyInUse) continue;
        --m_registry.waitingTasks;
        task->state = anyTooBig ? kTaskSplit : kTaskReady;
        m_registry.NotifyWork();
    }
}

CVelmoFolderAudit::Entry CVelmoFolderAudit::Classify(const std::wstring& full, const DirEntry& e) {
    Entry entry;
    if (e.isFolder) {
        entry.kind = EntryKind::Subfolder;
        return entry;
    }
    if (m_registry.IsUndeletedNow(full)) {
        entry.kind = EntryKind::AlreadyDone;
        return entry;
    }
    m_registry.Ledger().ForgetUndeleted(full);  // a new version (or none): what it recorded is over
    if (IsResolvableShortcut(full, entry.link)) {
        if (!PathExists(entry.link.target)) entry.kind = EntryKind::DeadShortcut;  // a shortcut to nothing is ignored
        return entry;
    }
    entry.link = ShortcutInfo{};
    entry.chunk = ParseChunkName(full);
    if (entry.chunk.isChunk && entry.chunk.sourceExists) entry.kind = EntryKind::LeftoverChunk;
    return entry;
}

void CVelmoFolderAudit::Announce(int code, std::wstring path, std::wstring reason) {
    m_notice.Set(Notice{std::move(path), std::move(reason)});
    Notify(code);
}

CVelmoFolderAudit::Notice CVelmoFolderAudit::LastNotice() const { return m_notice.Copy(); }

void CVelmoFolderAudit::ListNewTask(CZKRBTreeNode* task, uint64_t limit) {
    Notify(kEventTaskCreated);
    const std::wstring taskPath = task->Name();
    std::wstring listText;
    bool anyInUse = false, anyTooBig = false;
    std::vector<DirEntry> entries;
    ListFolder(taskPath, L"*.*", entries);
    for (const DirEntry& e : entries) {
        const std::wstring full = taskPath + e.name;
        const Entry entry = Classify(full, e);
        switch (entry.kind) {
            case EntryKind::Subfolder: Nap(); continue;  // subfolders of an order are never listed
            case EntryKind::DeadShortcut: continue;
            case EntryKind::LeftoverChunk:  // left over from an interrupted split (and deleted just now)
                (void)DeleteFileAt(full);          // one made since: it never goes as a part of the order
                continue;
            case EntryKind::AlreadyDone:
                DeleteAlreadyDone(full);  // sent (or cut) earlier in this run: never again
                continue;
            case EntryKind::Send: break;
        }
        // A shortcut stands for its target: the target is what is tested, counted and listed.
        const bool isLink = !entry.link.target.empty();
        const std::wstring data = isLink ? entry.link.target : full;
        CZKListEntry* item = task->AddFile(L"", full, isLink ? entry.link.target : L"");
        if (!item) continue;
        item->sourceInLabel = isLink;
        item->size = isLink ? entry.link.targetSize : e.size;
        if (IsFileLocked(data)) {
            item->state = kFileInUse;
            anyInUse = true;
        } else if (entry.chunk.isChunk) {
            item->state = kFileReady;  // a chunk is never split again
        } else if (limit != 0 && item->size > limit) {
            item->state = kFileTooBig;
            anyTooBig = true;
        } else {
            item->state = kFileReady;
        }
        m_registry.queuedBytes += static_cast<int64_t>(item->size);
        listText += data + L"\n";
        Nap();
    }
    if (task->Files().Count() == 0) {
        task->state = kTaskEmpty;
    } else {
        std::wstring listPath;
        if (contentListFlag && WriteContentList(taskPath, listText, listPath) == kListWritten) {
            if (CZKListEntry* item = task->AddFile(L"", listPath, L"")) {
                item->state = kFileReady;
                item->size = ToUtf16(listText).size();  // characters, not bytes
                m_registry.queuedBytes += static_cast<int64_t>(item->size);
            }
        }
        if (anyInUse) {
            task->state = kTaskWaiting;
            ++m_registry.waitingTasks;
        } else {
            task->state = anyTooBig ? kTaskSplit : kTaskReady;
        }
    }
    m_registry.NotifyWork();  // the splitter or the upload loop takes it from here
    Notify(kEventTaskListed);
}

}  // namespace zk
