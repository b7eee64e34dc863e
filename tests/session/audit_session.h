// The folder audit and the upload loop together on a real audit folder against the reference
// service, with the audit's notices counted (the agent journals them).
#pragma once
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/path.h"
#include "intake/folder_audit.h"
#include "session_helpers.h"

namespace zk::test {

class AuditSession {
public:
    AuditSession() {
        root = WithTrailingSeparator(dir.Path());
        audit.SetCallback(this, [](void* user, CVelmoFolderAudit* a, int code) {
            auto* self = static_cast<AuditSession*>(user);
            if (code != CVelmoFolderAudit::kEventOrderSetAside && code != CVelmoFolderAudit::kEventFileDeleted) return;
            std::lock_guard lock(self->mutex);
            (code == CVelmoFolderAudit::kEventOrderSetAside ? self->setAside : self->deleted).push_back(a->LastNotice());
        });
        log.Attach(session);
        session.SetRegistry(&audit.Registry());
    }
    ~AuditSession() {
        session.Stop();
        audit.StopWorker();
    }

    bool Start() {
        if (!service.Start()) return false;
        Configure(session, service);
        return session.Start() && audit.Start(root);
    }
    std::wstring Order(const std::wstring& name, const std::vector<std::pair<std::wstring, std::string>>& files) {
        EXPECT_TRUE(CreateFolder(root + name));
        for (auto& [f, bytes] : files) WriteFile(JoinPath(root + name, f), bytes);
        return root + name + kPathSep;
    }
    // How many times the service accepted each file name.
    std::map<std::wstring, int> ReceivedTimes() const {
        std::map<std::wstring, int> n;
        for (auto& r : service.Received()) ++n[FileNamePart(r.fn)];
        return n;
    }
    std::vector<CVelmoFolderAudit::Notice> SetAside() const {
        std::lock_guard lock(mutex);
        return setAside;
    }
    std::vector<CVelmoFolderAudit::Notice> Deleted() const {
        std::lock_guard lock(mutex);
        return deleted;
    }
    uint64_t TasksSent() const { return session.Snapshot().tasksSent; }

    refsrv::RefService service;
    TempDir dir{L"auditsession"};
    std::wstring root;
    CVelmoFolderAudit audit;
    CVelmoConnect session;
    EventLog log;

private:
    mutable std::mutex mutex;  // guards the notices
    std::vector<CVelmoFolderAudit::Notice> setAside, deleted;
};

}  // namespace zk::test
