// Shared helpers of the session tests: an event recorder and a session wired to a reference service.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "refserver/ref_service.h"
#include "session/velmo_connect.h"
#include "support/test_util.h"

namespace zk::test {

struct RecordedEvent {
    bool auth;
    int code;
    std::wstring currentFile;
    std::wstring currentTask;
    int32_t lastErrorCode;
    std::wstring lastErrorText;
};

// Records every event of a session (the callbacks run on the upload-loop thread).
class EventLog {
public:
    void Attach(CVelmoConnect& s) {
        s.SetAuthCallback(this, [](void* u, CVelmoConnect* c, int code) { static_cast<EventLog*>(u)->Add(true, c, code); });
        s.SetTransferCallback(this, [](void* u, CVelmoConnect* c, int code) { static_cast<EventLog*>(u)->Add(false, c, code); });
    }
    std::vector<RecordedEvent> Events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    // Transfer events without the progress steps.
    std::vector<int> TransferCodes() const {
        std::vector<int> v;
        for (auto& e : Events())
            if (!e.auth && e.code != 2) v.push_back(e.code);
        return v;
    }
    int Count(bool auth, int code) const {
        int n = 0;
        for (auto& e : Events()) n += e.auth == auth && e.code == code;
        return n;
    }
    std::function<void(bool auth, int code, CVelmoConnect*)> onEvent;

private:
    void Add(bool auth, CVelmoConnect* c, int code) {
        const SessionSnapshot s = c->Snapshot();
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back({auth, code, s.currentFile, s.currentTaskName, s.lastErrorCode, s.lastErrorText});
        }
        if (onEvent) onEvent(auth, code, c);
    }
    mutable std::mutex m_mutex;  // guards m_events
    std::vector<RecordedEvent> m_events;
};

inline void Configure(CVelmoConnect& s, const refsrv::RefService& service, const std::wstring& user = L"loader",
                      const std::wstring& password = L"malvoro") {
    s.SetVersionString(L"2.00");
    s.SetAuthServerUrl(service.AuthUrl());
    s.SetUserName(user);
    s.SetPassword(password);
}

}  // namespace zk::test
