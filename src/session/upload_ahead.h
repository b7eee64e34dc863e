// The next file's upload, begun on a second client while the answer to the one before is
// awaited: otherwise the line stands idle for that answer's round trip after every file (on a
// 20 ms line, 40 ms of each 1 MB file's 460). The upload ahead writes the request's head and
// its body but never the body's end, so a server cannot have taken the file when the upload
// ahead is dropped (the file before was refused, a stop, a new session). It then parks until
// the upload loop takes it up, with the file's events, counters and answer as for any upload,
// or drops it.
// A server that does not take the second connection within kStallMs (it serves one connection
// at a time) gets no upload ahead any more until Forget(): the uploads go one after the other.
// Threads: Begin, Take, Drop and Forget run on the upload-loop thread; the upload runs on the
// ahead's own thread, which starts with the first Begin and ends with the object. m_mutex guards
// the job, its phase and the one-connection mark; the client given to Begin is the ahead
// thread's until Take or Drop has seen the job end, then the loop's again. The ahead's calls are
// bounded by kStallMs, so Take and Drop never wait longer for it to park.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "base/manual_event.h"
#include "http/http_client.h"

namespace zk {

// Opens the upload of `path` with its descriptor on `client` (the header and the two file parts;
// never redirected: a 3xx is an answer other than 200, and the file stays).
void StartFileUpload(CHttpClientT& client, const std::wstring& url, const std::wstring& authorization, const std::wstring& path,
                     const std::wstring& descriptor);
// Whether the started body holds all the bytes of the file and its descriptor: one that cannot
// be opened for reading would go as an empty part, be accepted and then deleted unsent.
bool BodyHoldsWholeFiles(const CHttpClientT& client, const std::wstring& path, const std::wstring& descriptor);

class CUploadAhead {
public:
    // The upload as the session would start it.
    struct Job {
        std::wstring path, url, authorization, uid, aid;
    };
    // Never more than this much of a body goes ahead: what a refusal of the file before wastes.
    static constexpr uint32_t kBudget = 4u << 20;
    // Left unwritten at the body's end, more than its closing line: only the loop ends a body.
    static constexpr uint32_t kReserve = kUploadStep;
    // A call of the upload ahead that moves nothing this long is given up: the server does not
    // take a second connection.
    static constexpr uint32_t kStallMs = 2000;

    CUploadAhead() = default;
    CUploadAhead(const CUploadAhead&) = delete;
    CUploadAhead& operator=(const CUploadAhead&) = delete;
    // Drops a job and ends the thread.
    ~CUploadAhead();

    // Starts `job` on `client`, which must not be in use (no job is under way); the job parks
    // early when `stop` is set. False when nothing went ahead (a job under way, no thread, a
    // server that takes one connection at a time).
    bool Begin(CHttpClientT& client, Job job, const ManualResetEvent& stop);
    // True when the job of `path` stands parked under way on the client given to Begin, with its
    // descriptor file in `descriptor` (the caller's now, as is the client). Any other job is
    // dropped, and false.
    bool Take(const std::wstring& path, std::wstring& descriptor);
    // Ends a job under way: its request is cancelled, its descriptor file removed.
    void Drop();
    // The server did not take a connection an upload went ahead on: no more uploads ahead
    // until Forget().
    void NoteOneConnection();
    // A new session: the server is given the chance of a second connection again.
    void Forget();

private:
    enum class Phase { Idle, Running, Parked, Abandoned };
    void ThreadBody();
    // The upload's head and body up to the reserve, the budget, a park request or the stop;
    // false (nothing left behind) when it could not start or failed.
    // `stalled`: it failed because nothing moved (the server did not take the connection).
    bool Run(CHttpClientT& client, const Job& job, const ManualResetEvent& stop, std::wstring& descriptor, bool& stalled);
    // m_mutex held through `lock`: asks the job to park and waits until it has, then gives the
    // client back as the loop uses it.
    void WaitParked(std::unique_lock<std::mutex>& lock);

    const ManualResetEvent* m_stop = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Phase m_phase = Phase::Idle;
    Job m_job;
    CHttpClientT* m_client = nullptr;
    uint32_t m_loopStall = 0;  // the client's stall bound as the loop uses it
    bool m_oneConnection = false;
    std::wstring m_descriptor;  // of a parked job
    bool m_quit = false;
    std::atomic<bool> m_park{false};  // read by the running job between its steps
    std::thread m_thread;
};

}  // namespace zk
