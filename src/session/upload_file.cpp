// The upload of one file (upload-loop thread): POST of the file and its descriptor as two file
// parts, sent in small steps with the stop event tested between them; the answer must begin
// with "OK" (only its first kUploadAnswerPrefix bytes are read). The upload is never redirected.
// The descriptor file lives only during the call (or from the upload ahead's start, when the
// call goes on with an upload begun ahead).
#include <exception>
#include <memory>
#include <string>

#include "base/fsys.h"
#include "base/utf16.h"
#include "http/http_errors.h"
#include "http/http_platform.h"
#include "session/descriptor.h"
#include "session/session_encoders.h"
#include "session/upload_pacer.h"
#include "session/velmo_connect.h"

namespace zk {

std::wstring CVelmoConnect::UploadUrlOf(const std::wstring& uploadUrl, const std::wstring& path) {
    return uploadUrl + (uploadUrl.find(L'?') == std::wstring::npos ? L"?" : L"") + L"&fn=" + SessionUrlEncode(path);
}

void CVelmoConnect::BeginAhead(const std::wstring& next) {
    if (m_uploadLimit.load() != 0) return;  // a limited upload waits for its rate, not for answers
    CUploadAhead::Job job;
    {
        std::lock_guard lock(m_mutex);
        if (!m_state.authenticated) return;
        job.url = UploadUrlOf(m_state.uploadUrl, next);
        job.authorization = m_state.uploadAuthorization;
        job.uid = m_state.uid;
        job.aid = m_state.aid;
    }
    job.path = next;
    (void)m_ahead.Begin(m_clients[m_active ^ 1], std::move(job), m_thread.StopEvent());
}

bool CVelmoConnect::UploadFile(const std::wstring& path, FileIdentity* sent, const std::wstring* next) {
    if (sent) *sent = {};
    std::unique_ptr<CHttpResponseT> response;
    std::wstring descriptor;
    // The upload begun ahead for this file goes on here, on its client; any other is dropped.
    const bool ahead = m_ahead.Take(path, descriptor);
    if (ahead) m_active ^= 1;
    try {
        std::wstring uploadUrl, authorization, uid, aid;
        bool authenticated;
        {
            std::lock_guard lock(m_mutex);
            m_state.serverAnswer.clear();
            m_state.answerStatus = 0;
            m_state.currentFile = path;
            m_state.currentFileTotal = m_state.currentFilePosted = 0;
            uploadUrl = m_state.uploadUrl;
            authorization = m_state.uploadAuthorization;
            uid = m_state.uid;
            aid = m_state.aid;
            authenticated = m_state.authenticated;
        }
        CHttpClientT& client = Client();
        RaiseTransfer(kTransferBegin);
        if (!authenticated) SetError(kTextNotAuthenticated, kErrNoCredentials, true);
        if (!PathExists(path)) SetError(kTextFileNotFound + path, kErrFileNotFound, true);
        if (!ahead) {
            if (!WriteDescriptor(uid, aid, path, descriptor)) SetError(kTextDescriptor, kErrDescriptor, true);
            CheckStop();
            StartFileUpload(client, UploadUrlOf(uploadUrl, path), authorization, path, descriptor);
        }
        CheckStop();
        if (sent) *sent = client.SentFileIdentity(L"IMAGE");
        if (!BodyHoldsWholeFiles(client, path, descriptor)) SetError(kTextFileUnreadable + path, kErrFileUnreadable, true);

        uint32_t previousPosted = 0;
        CHttpPostStatT stat;  // one for every step: its texts keep their buffers
        const CUploadPacer pacer(m_uploadLimit.load());
        bool nextBegun = false;
        while (!response) {
            CheckStop();
            client.QueryPostStat(stat);
            // The body is all written: the next file goes ahead while this one's answer comes.
            if (next && !nextBegun && stat.IsActive() && stat.ActualPostedByte() == stat.ActualTotalByte()) {
                client.FlushPost();
                BeginAhead(*next);
                nextBegun = true;
            }
            response = client.ContinuePost();
            if (stat.IsActive()) {
                std::lock_guard lock(m_mutex);
                m_state.currentFileTotal = static_cast<int32_t>(stat.ActualTotalByte());
                m_state.bytesSent += stat.ActualPostedByte() - previousPosted;
                previousPosted = stat.ActualPostedByte();
                m_state.currentFilePosted = static_cast<int32_t>(previousPosted);
            }
            RaiseTransfer(kTransferStep);
            // Between steps, so the bytes on the wire stay those of an unlimited upload.
            if (!response) pacer.Pace(previousPosted, m_thread.StopEvent());
        }
        SetFileProgress(0, 0);
        // Answered only once the idle connection was let go: the server serves one connection
        // at a time (and kept the other one alive).
        if (ahead && client.AnswerWasSlow()) m_ahead.NoteOneConnection();
        const uint32_t status = response->GetStatus();
        {
            std::lock_guard lock(m_mutex);
            m_state.answerStatus = static_cast<int32_t>(status);
        }
        if (status != 200) SetError(response->GetStatusText(), static_cast<int32_t>(status), true);
        const bool text = IsTextAnswer(*response);
        CheckStop();
        std::wstring answer = ReadAnswer(*response, text, false, kUploadAnswerPrefix);
        std::erase(answer, L'\n');
        {
            std::lock_guard lock(m_mutex);
            m_state.serverAnswer = answer;
        }
        if (answer.size() < 2 || !EqualsNoCase(answer.substr(0, 2), L"OK")) SetError(answer, kErrServerAnswer, true);
        RaiseTransfer(kTransferAccepted);
        response.reset();
        (void)DeleteFileAt(descriptor);  // the descriptor is our own temporary file
        return true;
    } catch (...) {
        const uint32_t osError = RecordCaught(std::current_exception());
        // A request that failed because the stop aborted it failed for the stop.
        if (Stopping()) SetError(kTextStopped, kErrStopped, false);
        else if (Paused()) SetError(kTextPaused, kErrPaused, false);
        // One taken up from the upload ahead that then moved nothing: the server never took the
        // connection it went ahead on (it serves one at a time and kept the other one).
        else if (ahead && osError == net::TimeoutError()) m_ahead.NoteOneConnection();
    }
    response.reset();
    if (!descriptor.empty()) (void)DeleteFileAt(descriptor);
    // The file is tried again or its task left: what went ahead is not what comes next.
    CancelUploads();
    SetFileProgress(0, 0);
    if (LastErrorCode() != kErrPaused) RaiseTransfer(kTransferFailed);  // a pause is no failure
    return false;
}

}  // namespace zk
