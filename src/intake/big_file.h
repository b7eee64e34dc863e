// The big-file splitter: a lowest-priority worker that takes tasks needing a split, cuts each
// too-big file into numbered chunk files beside it, puts the chunk items in its place, deletes
// the big file and hands the task to the upload loop.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/zk_thread.h"
#include "tasks/task_registry.h"

namespace zk {

class CVelmoBigFile {
public:
    using Callback = void (*)(void* user, CVelmoBigFile* splitter, int code);
    enum Event { kEventFailed = 0, kEventChunkStart = 1, kEventChunkWritten = 2, kEventTaskTaken = 3, kEventTaskReady = 4 };
    enum Status {
        kStatusOk = 0,
        kStatusStopped = 2001,
        kStatusOpenRead = 2002,
        kStatusOpenWrite = 2003,
        kStatusRead = 2004,
        kStatusWrite = 2005,
        kStatusMemory = 2006,
    };

    CVelmoBigFile();
    CVelmoBigFile(const CVelmoBigFile&) = delete;
    CVelmoBigFile& operator=(const CVelmoBigFile&) = delete;
    ~CVelmoBigFile();

    // The registry whose tasks in state 3 it takes; it listens there for work.
    void SetRegistry(CZKRBTree* registry);
    void SetCallback(void* user, Callback callback) {
        m_user = user;
        m_callback = callback;
    }
    // Does nothing while the worker runs.
    bool Start();
    [[nodiscard]] bool IsRunning() const { return m_thread.IsRunning(); }
    // Signals the stop event and waits for the worker.
    void Stop() { m_thread.StopAndWait(); }

    // Cuts `source` into chunks named after the file name of `namePath`, written into
    // `targetFolder` (ending with a separator). `scratch` receives one entry per chunk written:
    // key = source, value = chunk path, size = its byte count. False with the status set on any
    // failure; false at once, status untouched, without a scratch list.
    bool SplitFile(const std::wstring& source, const std::wstring& namePath, const std::wstring& targetFolder,
                   uint64_t chunkSize, CZKLockedList* scratch);
    [[nodiscard]] int StatusCode() const;
    [[nodiscard]] std::wstring StatusMessage() const;

    // Bytes; written by the settings writer, read once per task. 0 disables splitting.
    std::atomic<uint64_t> chunkSize{0};

private:
    class _CThread : public CZKEventThread {
    public:
        explicit _CThread(CVelmoBigFile* owner) : CZKEventThread(true), m_owner(owner) {}
        ~_CThread() override { StopAndWait(); }

    protected:
        unsigned ThreadBody() override;

    private:
        CVelmoBigFile* m_owner;
    };

    void Run();
    // Splits the too-big items of one task in state 3 and sets it ready, or 0 on a failure.
    void SplitTask(CZKRBTreeNode* task, uint64_t taskChunkSize);
    bool Fail(int code, const std::wstring& path);
    void Notify(int code) {
        if (m_callback) m_callback(m_user, this, code);
    }
    bool Stopping() const { return m_thread.ShouldStop(); }

    void* m_user = nullptr;
    Callback m_callback = nullptr;
    CZKRBTree* m_registry = nullptr;
    CZKRBTreeNode* m_current = nullptr;
    mutable std::mutex m_statusMutex;  // guards the status for readers on other threads
    int m_status = kStatusOk;
    std::wstring m_statusMessage;
    _CThread m_thread{this};  // declared last: stopped first
};

}  // namespace zk
