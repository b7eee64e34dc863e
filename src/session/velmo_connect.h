// The server session: credentials and what the authentication server hands out, the HTTP
// client, the last error, the counters of what was sent, and the upload-loop worker. Events go
// to two callbacks (authentication, transfer) on the upload-loop thread.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/file_identity.h"
#include "base/zk_thread.h"
#include "http/http_client.h"
#include "session/session_codes.h"
#include "session/upload_ahead.h"
#include "tasks/task_registry.h"

namespace zk {

// The most of an upload's answer that is read: enough for the acceptance ("OK" at its start)
// and for the journal; a longer tail is left unread.
inline constexpr uint32_t kUploadAnswerPrefix = 4096;

// What an authentication yields: the fifteen texts a reset of the session clears together.
struct SessionEndpoint {
    std::wstring responseHeaders, responseBody;
    std::wstring uid, aid;
    std::wstring ftpHost, ftpPort, ftpLogin, ftpPassword;
    std::wstring httpHost, httpPort, httpPath, httpLogin, httpPassword;
    std::wstring uploadUrl, uploadAuthorization;
};

// The session's whole state, one struct: the session keeps it under its mutex, and the event
// handlers and the statistics read a copy of it.
// The order the upload loop set aside last: which, for which file, why and in how long it is
// tried again.
struct SetAsideOrder {
    std::wstring task, file, reason;
    int64_t retrySeconds = 0;
    int32_t times = 0;  // how often this order has stepped aside in this run
};

struct SessionSnapshot : SessionEndpoint {
    std::wstring authUrl, userName, password, version;
    std::wstring lastErrorText, serverAnswer, currentFile, currentTaskName;
    int32_t lastErrorCode = 0;
    uint32_t lastOsError = 0;  // the platform's number behind the last failure of the network, else 0
    int32_t answerStatus = 0;  // the HTTP status of the last upload's answer (0: none came)
    SetAsideOrder setAside;
    int32_t currentFileTotal = 0, currentFilePosted = 0;
    uint64_t tasksSent = 0, filesSent = 0, bytesSent = 0;
    bool authenticated = false;
    bool paused = false;  // the person paused the sending
    std::vector<std::pair<std::wstring, std::wstring>> serverParams;
};

class CVelmoConnect {
public:
    using Callback = void (*)(void* user, CVelmoConnect* session, int code);

    CVelmoConnect();
    CVelmoConnect(const CVelmoConnect&) = delete;
    CVelmoConnect& operator=(const CVelmoConnect&) = delete;
    // Signals the stop event and waits for the upload loop.
    ~CVelmoConnect();

    void SetVersionString(const std::wstring& text);
    // Average rate limit of the request bodies in kilobytes (1,024 bytes) a second; 0: none.
    void SetUploadLimit(uint32_t kilobytesPerSecond) { m_uploadLimit = kilobytesPerSecond; }
    // Each rebuilds the authentication request; the caller sets the re-authenticate flag.
    void SetAuthServerUrl(const std::wstring& text);
    void SetUserName(const std::wstring& text);
    void SetPassword(const std::wstring& text);
    void SetAuthCallback(void* user, Callback callback) {
        m_authUser = user;
        m_authCallback = callback;
    }
    void SetTransferCallback(void* user, Callback callback) {
        m_transferUser = user;
        m_transferCallback = callback;
    }
    // The registry the loop takes its tasks from; the loop listens there for work.
    void SetRegistry(CZKRBTree* registry);
    // Other request time-outs than the built-in ones (tests); before Start().
    void SetTimeouts(unsigned connectMs, unsigned sendMs, unsigned receiveMs);
    // Another bound than kAnswerDeadlineMs for the whole answer of a request (tests); before Start().
    void SetAnswerDeadline(unsigned ms) {
        for (CHttpClientT& c : m_clients) c.SetAnswerDeadline(ms);
    }
    // Another bound than kStallMs for a blocking call that makes no progress (tests); before Start().
    void SetStallBound(unsigned ms) {
        for (CHttpClientT& c : m_clients) c.SetStallBound(ms);
    }
    // Another pause after a failure than 5 s (tests); before Start().
    void SetFailurePause(std::chrono::milliseconds pause) { m_failurePause = pause; }
    // The clock of the pauses of orders set aside (tests); before Start().
    using SteadyNow = std::chrono::steady_clock::time_point (*)();
    void SetSteadyClock(SteadyNow now) { m_now = now; }

    // Starts the upload loop unless it runs.
    bool Start();
    // Signals the stop event and waits for the loop to end. A request blocked on a server that
    // does not answer is aborted after a short grace. False when the loop is still blocked after
    // `limit` (the platform would not give the call back): the caller must then keep the object
    // and what the loop uses alive until the process ends.
    bool Stop(std::chrono::milliseconds limit = std::chrono::hours(24 * 365));
    // Any thread: signals the stop event and returns; the loop leaves its upload at the next step.
    void RequestStop() { m_thread.StopEvent().Set(); }
    [[nodiscard]] bool StopRequested() const { return Stopping(); }
    // No more events: for a session left running at process exit.
    void DetachCallbacks();

    // Clears the session state; cancels a running upload.
    void ResetSession();
    // The whole authentication exchange; never throws.
    bool Authenticate();
    // One file with its descriptor; true when the server answered "OK". Never throws. With
    // `sent`, the identity of the file as it was opened for sending (all zero when it could not
    // be opened or its identity read): the caller can tell whether what is at `path` now is
    // what the server received before deleting it. With `next`, the file to be uploaded after
    // this one (when this one is accepted): its upload begins ahead while this one's answer is
    // awaited (upload_ahead.h), and the next call for it goes on from there.
    bool UploadFile(const std::wstring& path, FileIdentity* sent = nullptr, const std::wstring* next = nullptr);
    // Removes an order folder and its empty subfolders. Files still inside were never accepted
    // by the server; they are kept, and the folder with them (false).
    static bool DeleteFolderTree(const std::wstring& folder);

    // Asks the upload loop to authenticate again (the settings writer, the clock; any thread).
    void RequestReauthentication() {
        m_reauthenticate = true;
        m_thread.Wake().Raise();
    }
    // Any thread: the orders set aside are tried again at once (a setting changed).
    void RetrySetAsideNow() {
        m_retryAside = true;
        m_thread.Wake().Raise();
    }
    // Any thread: the upload in progress ends at once (its file stays and goes again from its
    // start, on a new connection) and none begins until Resume(); intake and splitting go on.
    void Pause();
    void Resume();
    [[nodiscard]] bool Paused() const { return m_paused.load(); }
    // Any thread: every pause the loop waits out ends now (the pause after a failure or a
    // refused login, the pauses of the orders set aside), and it tries at once.
    void TryNow() {
        m_tryNow = true;
        m_retryAside = true;
        m_thread.Wake().Raise();
    }
    // An order whose upload failed this many times in a row steps aside.
    static constexpr int kFailuresBeforeAside = 5;
    // The pause of an order stepping aside for the `n`-th time (0 first): 1, 2, 4 ... 30 minutes.
    static std::chrono::minutes AsidePause(int n);
    // The loop's wake-up: raised when a task may have become ready (the registry does it).
    WakeSignal& WorkSignal() { return m_thread.Wake(); }

    [[nodiscard]] SessionSnapshot Snapshot() const;
    // Request bytes posted since start, without a snapshot (the step event's handler).
    [[nodiscard]] uint64_t BytesSent() const;
    [[nodiscard]] int32_t LastErrorCode() const;
    [[nodiscard]] std::wstring LastErrorText() const;
    [[nodiscard]] bool IsAuthenticated() const;
    [[nodiscard]] bool IsRequestReady() const;
    [[nodiscard]] bool IsRunning() const { return m_thread.IsRunning(); }
    // The size of the client's next write to the network (tests; upload-loop thread).
    [[nodiscard]] uint32_t WriteSize() const { return m_clients[m_active].WriteSize(); }
    // Times the loop began to rest or to pause after a failure (it has nothing to do meanwhile).
    [[nodiscard]] uint64_t Rests() const { return m_thread.Rests(); }
    CZKRBTree* Registry() const { return m_registry; }

private:
    struct Failure {};  // the session's own failure signal
    // Records what the loop, an authentication or an upload caught: a Failure is recorded
    // already; anything else becomes error 1008 with its text. Gives the platform's error number
    // of a client failure (0 for others).
    uint32_t RecordCaught(std::exception_ptr caught);

    class _CThread : public CZKEventThread {
    public:
        explicit _CThread(CVelmoConnect* owner) : m_owner(owner) {}
        ~_CThread() override { StopAndWait(); }

    protected:
        unsigned ThreadBody() override;

    private:
        CVelmoConnect* m_owner;
    };

    // Records the last error; with `raise` it throws the session's failure signal.
    void SetError(const std::wstring& text, int32_t code, bool raise);
    // An unforeseen exception (memory, a handler's fault) as error 1008 with its text.
    void SetInternalError(const char* what);
    void CheckStop();
    void RebuildRequest();
    // The answer's body read in blocks of 10241 bytes, decoded from windows-1251 when `text`
    // (else read and dropped); the stop event is tested after each block, and with
    // `raiseBlockEvents` authentication event 2 follows every block. With `prefix`, reading ends
    // after that many bytes and the rest is left unread; without, a body over kAnswerLimit fails.
    std::wstring ReadAnswer(CHttpResponseT& response, bool text, bool raiseBlockEvents, uint32_t prefix = 0);
    // An answer is text when its Content-Type begins with "text/" in any letter case.
    static bool IsTextAnswer(CHttpResponseT& response);
    void RaiseAuth(int code) {
        if (Callback cb = m_authCallback.load()) cb(m_authUser, this, code);
    }
    void RaiseTransfer(int code) {
        if (Callback cb = m_transferCallback.load()) cb(m_transferUser, this, code);
    }
    void Run();
    // One pass of the loop: re-authentication, authentication, selection and one task.
    void RunOnce(int& failures);
    // The file loop of one task, up to its completion or until it is left early.
    void WorkOnTask(CZKRBTreeNode* task, CZKListEntry* first, int& failures);
    // After a failed upload of `f`: whether the task is left (then event 8 was raised).
    bool LeaveAfterFailure(CZKRBTreeNode* task, const CZKListEntry* f, int& failures);
    // The task steps aside for the failures of `f`: not taken again before its pause has passed
    // (event 10 says which, why and when).
    void StepAside(CZKRBTreeNode* task, const CZKListEntry* f);
    // Every order set aside may be taken at once (registry lock taken).
    void EndAsidePauses();
    void CompleteTask(CZKRBTreeNode* task);
    // The accepted files of a completed task's folder that would not go, then the folder
    // (registry lock held).
    void CleanUpFolder(const std::wstring& folder);
    static const CZKListEntry* NextToGoAhead(const CZKListEntry* f);
    // The task the loop works on (null for none), as its name.
    void SetCurrentTask(const CZKRBTreeNode* task);
    void SetCurrentFile(const std::wstring& path);
    void SetFileProgress(int32_t total, int32_t posted);
    // Pauses up to 5 s in one wait that the stop event ends; true when it did.
    bool FailurePause();
    bool Stopping() const { return m_thread.ShouldStop(); }
    // The upload URL of `path`: "fn" added to the authentication's upload URL.
    static std::wstring UploadUrlOf(const std::wstring& uploadUrl, const std::wstring& path);
    // Begins the upload of `next` ahead on the spare client (when the uploads are not limited).
    void BeginAhead(const std::wstring& next);
    CHttpClientT& Client() { return m_clients[m_active]; }
    void CancelUploads();  // the upload ahead and the client's own

    // Upload-loop thread only: the client of the running requests and the spare one of the
    // upload ahead, which becomes the running one when its upload is taken up.
    CHttpClientT m_clients[2];
    int m_active = 0;
    CUploadAhead m_ahead;
    void* m_authUser = nullptr;
    void* m_transferUser = nullptr;
    std::atomic<Callback> m_authCallback{nullptr};
    std::atomic<Callback> m_transferCallback{nullptr};
    CZKRBTree* m_registry = nullptr;
    std::atomic<uint32_t> m_uploadLimit{0};
    std::atomic<bool> m_reauthenticate{false};  // read and cleared by the upload loop only
    std::atomic<bool> m_retryAside{false};      // likewise
    std::atomic<bool> m_tryNow{false};          // likewise
    std::atomic<bool> m_paused{false};
    std::mutex m_pauseMutex;  // orders Pause()'s abort of the clients against Resume()'s clearing of it
    std::chrono::milliseconds m_failurePause{5000};
    SteadyNow m_now = &std::chrono::steady_clock::now;
    bool m_loginRefused = false;  // upload-loop thread: the last authentication failed

    // Guards m_state, the request-ready flag and the request URL: the settings setters (main
    // thread, or the upload thread for pushed settings) against the request building and the
    // updates of the upload-loop thread, and both against readers of Snapshot().
    mutable std::mutex m_mutex;
    SessionSnapshot m_state;
    bool m_requestReady = false;
    std::wstring m_authRequestUrl;

    _CThread m_thread{this};  // declared last: stopped first
};

}  // namespace zk
