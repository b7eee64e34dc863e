// The folder audit: a worker that scans the audit folder about once a second and turns every
// new order subfolder into a task of the registry it owns, with one file item per file,
// classified ready, in use or too big, plus a content list.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "app/zk_thread.h"
#include "tasks/task_registry.h"

namespace zk {

class CVelmoFolderAudit {
public:
    using Callback = void (*)(void* user, CVelmoFolderAudit* audit, int code);
    enum Event { kEventTaskCreated = 1, kEventTaskListed = 3 };

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

    void Run();
    void ScanFolder(const std::wstring& folder, uint64_t limit);
    void RecheckWaiting(uint64_t limit);
    void ListNewTask(CZKRBTreeNode* task, uint64_t limit);
    void Notify(int code) {
        if (m_callback) m_callback(m_user, this, code);
    }

    void* m_user = nullptr;
    Callback m_callback = nullptr;
    mutable std::mutex m_folderMutex;  // guards m_folder (replaced only while the worker is stopped)
    std::wstring m_folder;
    CZKRBTree m_registry;
    _CThread m_thread{this};  // declared last: stopped first
};

}  // namespace zk
