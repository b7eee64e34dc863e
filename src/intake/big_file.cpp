// Worker thread of the big-file splitter.
// Thread: CVelmoBigFile::_CThread (lowest priority) runs Run(); the owner starts and stops it.
// With nothing to split it rests on its wake-up signal, raised by the registry's NotifyWork()
// and by the stop.
// Locks: the registry lock is taken only to pick a task, to insert chunk items, to set a task's
// state and around the final event; a task in state 3 belongs to the splitter alone, so its
// items are walked and its files cut without the lock. m_statusMutex guards the status.
#include "intake/big_file.h"

#include <chrono>
#include <memory>
#include <new>
#include <thread>

#include "base/file_io.h"
#include "base/fsys.h"
#include "base/path.h"
#include "intake/chunk_name.h"

namespace zk {
namespace {
using namespace std::chrono_literals;
void Nap(std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); }
// How long the idle worker waits before it looks at the registry anyway (it is woken when work
// comes; this only guards against a wake-up that never came).
constexpr auto kIdleLook = std::chrono::seconds(30);

const wchar_t* StatusText(int code) {
    switch (code) {
        case CVelmoBigFile::kStatusStopped: return L"Процесс прерван пользователем";
        case CVelmoBigFile::kStatusOpenRead: return L"Не возможно открыть файл для чтения: ";
        case CVelmoBigFile::kStatusOpenWrite: return L"Не возможно открыть файл для записи: ";
        case CVelmoBigFile::kStatusRead: return L"Не возможно прчитать файл: ";
        case CVelmoBigFile::kStatusWrite: return L"Не возможно записать файл: ";
        case CVelmoBigFile::kStatusMemory: return L"Не возможно выделить память";
        default: return L"";
    }
}
}  // namespace

CVelmoBigFile::CVelmoBigFile() = default;

CVelmoBigFile::~CVelmoBigFile() {
    m_thread.StopAndWait();
    SetRegistry(nullptr);
}

void CVelmoBigFile::SetRegistry(CZKRBTree* registry) {
    if (m_registry) m_registry->RemoveWorkListener(&m_thread.Wake());
    m_registry = registry;
    if (m_registry) m_registry->AddWorkListener(&m_thread.Wake());
}

bool CVelmoBigFile::Start() { return m_thread.Start(); }

int CVelmoBigFile::StatusCode() const {
    std::lock_guard lock(m_statusMutex);
    return m_status;
}

std::wstring CVelmoBigFile::StatusMessage() const {
    std::lock_guard lock(m_statusMutex);
    return m_statusMessage;
}

bool CVelmoBigFile::Fail(int code, const std::wstring& path) {
    std::lock_guard lock(m_statusMutex);
    m_status = code;
    m_statusMessage = StatusText(code);
    if (code >= kStatusOpenRead && code <= kStatusWrite) m_statusMessage += path;
    return false;
}

unsigned CVelmoBigFile::_CThread::ThreadBody() {
    if (m_owner) m_owner->Run();
    return 0;
}

// With no task to split the worker waits to be woken (a task was set to state 3, the stop)
// instead of looking every 10 ms; it looks anyway now and then.
void CVelmoBigFile::Run() {
    while (!Stopping()) {
        if (!m_registry || m_registry->taskCount <= 0) {
            m_thread.Rest(kIdleLook);
            continue;
        }
        const uint64_t taskChunkSize = chunkSize.load();
        {
            std::lock_guard lock(m_registry->Mutex());
            m_current = nullptr;
            for (CZKRBTreeNode* t = m_registry->First(); t; t = t->nextArrival)
                if (t->state == kTaskSplit) {
                    m_current = t;
                    break;
                }
        }
        if (!m_current) {
            m_thread.Rest(kIdleLook);
            continue;
        }
        Notify(kEventTaskTaken);
        SplitTask(m_current, taskChunkSize);
        m_current = nullptr;
    }
}

void CVelmoBigFile::SplitTask(CZKRBTreeNode* task, uint64_t taskChunkSize) {
    CZKListEntry* item = task->Files().First();
    while (item) {
        if (item->state != kFileTooBig) {
            item = item->next;
            continue;
        }
        if (taskChunkSize == 0) {
            item->state = kFileReady;
            item = item->next;
            continue;
        }
        const std::wstring source = item->sourceInLabel ? item->label : item->value;
        const std::wstring namePath = item->value;
        CZKLockedList scratch;
        if (!SplitFile(source, namePath, FolderPart(namePath), taskChunkSize, &scratch)) {
            item->state = kFileFailed;
            {
                std::lock_guard lock(m_registry->Mutex());
                task->state = kTaskFailed;
            }
            m_registry->NotifyWork();  // the upload loop sends it whole
            Nap(10ms);
            Nap(10ms);
            return;
        }
        {
            std::lock_guard lock(m_registry->Mutex());
            for (CZKListEntry* c = scratch.First(); c; c = c->next) {
                if (CZKListEntry* chunk = task->InsertFile(item, L"", c->value, L"")) {
                    chunk->size = c->size;
                    chunk->state = kFileNew;
                }
            }
        }
        const std::wstring bigFile = item->value;
        item = task->RemoveFile(item);
        // The big file itself, or for a shortcut only the shortcut: its target stays. One that
        // will not go is remembered as dealt with (its chunks stand for it) and never sent whole.
        (void)m_registry->DeleteDealtWith(bigFile);
    }
    {
        std::lock_guard lock(m_registry->Mutex());
        task->state = kTaskReady;
        Notify(kEventTaskReady);
    }
    m_registry->NotifyWork();
    Nap(10ms);
}

bool CVelmoBigFile::SplitFile(const std::wstring& source, const std::wstring& namePath, const std::wstring& targetFolder,
                              uint64_t chunkBytes, CZKLockedList* scratch) {
    if (!scratch) return false;
    {
        std::lock_guard lock(m_statusMutex);
        m_status = kStatusOk;
        m_statusMessage.clear();
    }
    std::wstring chunkPath;
    fileio::UniqueFile chunkFile;
    // Every failure: close the chunk being written and delete it and every chunk written before
    // it (a partial set would reach the server as chunks that never make a whole file), report
    // event 0. The source stays; it goes whole.
    auto fail = [&](int code, const std::wstring& path) {
        chunkFile.reset();
        if (!chunkPath.empty()) (void)DeleteFileAt(chunkPath);
        for (CZKListEntry* e = scratch->First(); e; e = e->next) (void)DeleteFileAt(e->value);
        scratch->Empty();
        Fail(code, path);
        Notify(kEventFailed);
        return false;
    };
    fileio::UniqueFile src(fileio::OpenReadExclusive(source));
    if (!src) return fail(kStatusOpenRead, source);
    uint64_t size = 0;
    if (!fileio::Size(src.get(), size)) return fail(kStatusRead, source);
    if (chunkBytes == 0) return fail(kStatusRead, source);
    const int64_t count = static_cast<int64_t>(size / chunkBytes + (size % chunkBytes ? 1 : 0));
    if (Stopping()) return fail(kStatusStopped, L"");
    const std::wstring fileName = FileNamePart(namePath);
    int64_t number = 0;
    for (uint64_t offset = 0; offset < size; offset += chunkBytes) {
        Notify(kEventChunkStart);
        if (Stopping()) return fail(kStatusStopped, L"");
        ++number;
        chunkPath = targetFolder + ChunkFileName(fileName, number, count);
        if (!fileio::SeekTo(src.get(), offset)) return fail(kStatusRead, source);
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[chunkBytes]);
        if (!buffer) return fail(kStatusMemory, L"");
        if (Stopping()) return fail(kStatusStopped, L"");
        size_t got = 0;
        if (!fileio::Read(src.get(), buffer.get(), chunkBytes, got)) return fail(kStatusRead, source);
        Nap(50ms);
        chunkFile.reset(fileio::CreateForWrite(chunkPath));
        if (!chunkFile) return fail(kStatusOpenWrite, chunkPath);
        if (Stopping()) return fail(kStatusStopped, L"");
        // Every byte on the disk before the source can be deleted: a short write (a full disk) or
        // a failed flush is a failed split.
        if (!fileio::Write(chunkFile.get(), buffer.get(), got) || !fileio::Flush(chunkFile.get())) return fail(kStatusWrite, source);
        Nap(50ms);
        chunkFile.reset();
        buffer.reset();
        if (CZKListEntry* e = scratch->Append(source, chunkPath, L"")) e->size = got;
        Notify(kEventChunkWritten);
        Nap(50ms);
    }
    return true;
}

}  // namespace zk
