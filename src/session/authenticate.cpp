// The authentication exchange (upload-loop thread): GET to the authentication server with the
// credentials in the query, reading of its text answer, then a GET to the upload endpoint with
// the derived Basic authorization. The stop event is tested at every check point.
#include <exception>
#include <memory>
#include <string>

#include "http/http_errors.h"
#include "session/auth_answer.h"
#include "session/session_encoders.h"
#include "session/velmo_connect.h"

namespace zk {
namespace {

const wchar_t* const kRecordedHeaders[] = {L"Server",  L"Date",          L"X-Powered-By", L"Content-Length",    L"Set-Cookie",
                                           L"Expires", L"Cache-control", L"Connection",   L"Transfer-Encoding", L"Content-Type"};

}  // namespace

bool CVelmoConnect::Authenticate() {
    std::unique_ptr<CHttpResponseT> response;
    try {
        ResetSession();
        SetError(L"", 0, false);
        RaiseAuth(kAuthBegin);
        std::wstring requestUrl;
        {
            std::lock_guard lock(m_mutex);
            if (m_requestReady) requestUrl = m_authRequestUrl;
        }
        if (requestUrl.empty()) SetError(kTextNoCredentials, kErrNoCredentials, true);
        Client().ClearHeader();
        Client().ClearParam();
        response = Client().PerformGet(requestUrl.c_str(), kHttpSessionFlags);
        CheckStop();
        if (response->GetStatus() != 200) SetError(response->GetStatusText(), static_cast<int32_t>(response->GetStatus()), true);

        std::wstring headers;
        for (const wchar_t* name : kRecordedHeaders) {
            CheckStop();
            if (const wchar_t* value = response->GetHeader(name)) headers += std::wstring(name) + L": " + value + L"\n";
        }
        CheckStop();
        const bool text = IsTextAnswer(*response);
        CheckStop();
        const std::wstring body = ReadAnswer(*response, text, true);
        {
            std::lock_guard lock(m_mutex);
            m_state.responseHeaders = headers;
            m_state.responseBody = body;
        }
        if (std::wstring error; ErrorReport(body, error)) SetError(error, kErrServerRefused, true);
        std::wstring uploadUrl, authorization;
        {
            std::lock_guard lock(m_mutex);
            m_state.uid = TextBetween(body, L"<UID>", L"</UID>");
            m_state.aid = TextBetween(body, L"<AID>", L"</AID>");
            m_state.ftpHost = TagAttribute(body, L"<FTP", L"host");
            m_state.ftpPort = TagAttribute(body, L"<FTP", L"port");
            m_state.ftpLogin = TagAttribute(body, L"<FTP", L"login");
            m_state.ftpPassword = TagAttribute(body, L"<FTP", L"passwd");
            m_state.httpHost = TagAttribute(body, L"<HTTP", L"host");
            m_state.httpPort = TagAttribute(body, L"<HTTP", L"port");
            m_state.httpPath = TagAttribute(body, L"<HTTP", L"path");
            m_state.httpLogin = TagAttribute(body, L"<HTTP", L"login");
            m_state.httpPassword = TagAttribute(body, L"<HTTP", L"passwd");
            m_state.uploadUrl = L"http://" + m_state.httpHost + L":" + m_state.httpPort + m_state.httpPath;
            m_state.uploadAuthorization = L"Basic " + Base64Encode(m_state.httpLogin + L":" + m_state.httpPassword);
            uploadUrl = m_state.uploadUrl;
            authorization = m_state.uploadAuthorization;
        }
        response.reset();
        CheckStop();

        Client().AddHeader(L"Authorization", authorization.c_str());
        response = Client().PerformGet(uploadUrl.c_str(), kHttpSessionFlags);
        if (response->GetStatus() != 200) SetError(response->GetStatusText(), static_cast<int32_t>(response->GetStatus()), true);
        {
            std::lock_guard lock(m_mutex);
            m_state.authenticated = true;
            m_state.serverParams = ParseParams(body);
        }
        RaiseAuth(kAuthSucceeded);
        return true;
    } catch (...) {
        RecordCaught(std::current_exception());
        if (Paused() && !Stopping()) SetError(kTextPaused, kErrPaused, false);
    }
    response.reset();
    Client().CancelPost();
    {
        std::lock_guard lock(m_mutex);
        m_state.authenticated = false;
    }
    if (LastErrorCode() != kErrPaused) RaiseAuth(kAuthFailed);  // a pause refuses nothing
    return false;
}

}  // namespace zk
