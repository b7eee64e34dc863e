// The upload of one file (upload-loop thread): POST of the file and its descriptor as two file
// parts, sent in small steps with the stop event tested between them; the answer must begin
// with "OK" (only its first kUploadAnswerPrefix bytes are read). The upload is never redirected.
// The descriptor file lives only during the call.
#include <exception>
#include <memory>
#include <string>

#include "base/fsys.h"
#include "base/utf16.h"
#include "http/http_errors.h"
#include "session/descriptor.h"
#include "session/session_encoders.h"
#include "session/upload_pacer.h"
#include "session/velmo_connect.h"

namespace zk {

bool CVelmoConnect::UploadFile(const std::wstring& path, FileIdentity* sent) {
    if (sent) *sent = {};
    std::unique_ptr<CHttpResponseT> response;
    std::wstring descriptor;
    try {
        std::wstring uploadUrl, authorization, uid, aid;
        bool authenticated;
        {
            std::lock_guard lock(m_mutex);
            m_state.serverAnswer.clear();
            m_state.currentFile = path;
            m_state.currentFileTotal = m_state.currentFilePosted = 0;
            uploadUrl = m_state.uploadUrl;
            authorization = m_state.uploadAuthorization;
            uid = m_state.uid;
            aid = m_state.aid;
            authenticated = m_state.authenticated;
        }
        m_client.ClearHeader();
        m_client.ClearParam();
        RaiseTransfer(kTransferBegin);
        if (!authenticated) SetError(kTextNotAuthenticated, kErrNoCredentials, true);
        if (!PathExists(path)) SetError(kTextFileNotFound + path, kErrFileNotFound, true);
        if (!WriteDescriptor(uid, aid, path, descriptor)) SetError(kTextDescriptor, kErrDescriptor, true);
        CheckStop();
        m_client.AddHeader(L"Authorization", authorization.c_str());
        m_client.AddParam(L"IMAGE", path.c_str(), kParamFile);
        m_client.AddParam(L"DESCRIPTOR", descriptor.c_str(), kParamFile);
        const std::wstring url = uploadUrl + (uploadUrl.find(L'?') == std::wstring::npos ? L"?" : L"") + L"&fn=" + SessionUrlEncode(path);
        // Not redirected: a 3xx is an answer other than 200, and the file stays.
        m_client.StartUpload(url.c_str(), kHttpSessionFlags | kHttpFlagNoAutoRedirect);
        if (sent) *sent = m_client.SentFileIdentity(L"IMAGE");
        CheckStop();
        // A file that cannot be opened for reading would go as an empty part; the server could
        // accept that and the file would then be deleted unsent. Its data must all be in the body.
        CHttpPostStatT start;
        m_client.QueryPostStat(start);
        const int64_t expectedData = FileSizeOf(descriptor) + FileSizeOf(path);
        if (start.TotalByte() != expectedData) SetError(kTextFileUnreadable + path, kErrFileUnreadable, true);

        uint32_t previousPosted = 0;
        CHttpPostStatT stat;  // one for every step: its texts keep their buffers
        const CUploadPacer pacer(m_uploadLimit.load());
        while (!response) {
            CheckStop();
            m_client.QueryPostStat(stat);
            response = m_client.ContinuePost();
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
        if (response->GetStatus() != 200) SetError(response->GetStatusText(), static_cast<int32_t>(response->GetStatus()), true);
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
        RecordCaught(std::current_exception());
    }
    response.reset();
    if (!descriptor.empty()) (void)DeleteFileAt(descriptor);
    m_client.CancelPost();
    SetFileProgress(0, 0);
    RaiseTransfer(kTransferFailed);
    return false;
}

}  // namespace zk
