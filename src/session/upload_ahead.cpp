// The upload ahead: see upload_ahead.h for the threads and what m_mutex guards.
#include "session/upload_ahead.h"

#include <system_error>
#include <utility>

#include "base/fsys.h"
#include "http/http_errors.h"
#include "http/http_platform.h"
#include "session/descriptor.h"

namespace zk {

void StartFileUpload(CHttpClientT& client, const std::wstring& url, const std::wstring& authorization, const std::wstring& path,
                     const std::wstring& descriptor) {
    client.ClearHeader();
    client.ClearParam();
    client.AddHeader(L"Authorization", authorization.c_str());
    client.AddParam(L"IMAGE", path.c_str(), kParamFile);
    client.AddParam(L"DESCRIPTOR", descriptor.c_str(), kParamFile);
    client.StartUpload(url.c_str(), kHttpSessionFlags | kHttpFlagNoAutoRedirect);
}

bool BodyHoldsWholeFiles(const CHttpClientT& client, const std::wstring& path, const std::wstring& descriptor) {
    CHttpPostStatT start;
    client.QueryPostStat(start);
    return start.TotalByte() == FileSizeOf(descriptor) + FileSizeOf(path);
}

CUploadAhead::~CUploadAhead() {
    Drop();
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

bool CUploadAhead::Begin(CHttpClientT& client, Job job, const ManualResetEvent& stop) {
    {
        std::lock_guard lock(m_mutex);
        if (m_phase != Phase::Idle || m_oneConnection) return false;  // one job at a time; the caller takes or drops first
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread(&CUploadAhead::ThreadBody, this);
            } catch (const std::system_error&) {
                return false;  // the uploads go one after the other, as they can without it
            }
        }
        m_job = std::move(job);
        m_client = &client;
        m_loopStall = client.StallBound();
        client.SetStallBound(kStallMs);
        client.SetWritesOnRunner(true);  // a write the server does not take is given up in seconds
        m_stop = &stop;
        m_descriptor.clear();
        m_park = false;
        m_phase = Phase::Running;
    }
    m_changed.notify_all();
    return true;
}

void CUploadAhead::WaitParked(std::unique_lock<std::mutex>& lock) {
    m_park = true;
    m_changed.wait(lock, [this] { return m_phase != Phase::Running; });
    m_client->SetStallBound(m_loopStall);
    m_client->SetWritesOnRunner(false);
}

void CUploadAhead::NoteOneConnection() {
    std::lock_guard lock(m_mutex);
    m_oneConnection = true;
}

void CUploadAhead::Forget() {
    std::lock_guard lock(m_mutex);
    m_oneConnection = false;
}

bool CUploadAhead::Take(const std::wstring& path, std::wstring& descriptor) {
    std::unique_lock lock(m_mutex);
    if (m_phase == Phase::Idle) return false;
    if (m_job.path != path) {
        lock.unlock();
        Drop();
        return false;
    }
    WaitParked(lock);
    const bool parked = m_phase == Phase::Parked;
    if (parked) descriptor = std::move(m_descriptor);
    m_phase = Phase::Idle;
    m_client = nullptr;
    return parked;
}

void CUploadAhead::Drop() {
    std::unique_lock lock(m_mutex);
    if (m_phase == Phase::Idle) return;
    WaitParked(lock);
    if (m_phase == Phase::Parked) {
        m_client->CancelPost();
        (void)DeleteFileAt(m_descriptor);
        m_descriptor.clear();
    }
    m_phase = Phase::Idle;
    m_client = nullptr;
}

void CUploadAhead::ThreadBody() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || m_phase == Phase::Running; });
        if (m_quit) return;
        const Job job = m_job;
        CHttpClientT& client = *m_client;
        const ManualResetEvent& stop = *m_stop;
        lock.unlock();
        std::wstring descriptor;
        bool stalled = false;
        const bool parked = Run(client, job, stop, descriptor, stalled);
        lock.lock();
        if (stalled) m_oneConnection = true;
        m_descriptor = std::move(descriptor);
        m_phase = parked ? Phase::Parked : Phase::Abandoned;
        m_changed.notify_all();
    }
}

bool CUploadAhead::Run(CHttpClientT& client, const Job& job, const ManualResetEvent& stop, std::wstring& descriptor, bool& stalled) {
    auto halted = [&] { return m_park.load() || stop.IsSet(); };
    auto abandon = [&] {
        client.CancelPost();
        if (!descriptor.empty()) (void)DeleteFileAt(descriptor);
        descriptor.clear();
        return false;
    };
    // Whatever fails here (the connection, the file) is met again by the loop's own upload of
    // this file, which reports it.
    try {
        if (halted() || !PathExists(job.path)) return false;
        if (!WriteDescriptor(job.uid, job.aid, job.path, descriptor)) return false;
        StartFileUpload(client, job.url, job.authorization, job.path, descriptor);
        // A file that cannot be read whole is for the loop's own upload to report.
        if (!BodyHoldsWholeFiles(client, job.path, descriptor)) return abandon();
        CHttpPostStatT stat;
        while (!halted()) {
            client.QueryPostStat(stat);
            const uint32_t left = stat.ActualTotalByte() - stat.ActualPostedByte();
            if (left <= kReserve || stat.ActualPostedByte() >= kBudget) break;
            (void)client.ContinuePost();  // no answer can come: the body's end is never written here
        }
        client.FlushPost();
        return true;
    } catch (const httpclientexceptionW& e) {
        // Nothing moved on the second connection: the server serves the first one only.
        stalled = e.OsError() == net::TimeoutError() && !stop.IsSet();
        return abandon();
    } catch (...) {
        return abandon();
    }
}

}  // namespace zk
