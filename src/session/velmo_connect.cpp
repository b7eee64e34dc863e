// The server session object: settings, state, errors, start and stop.
// Threads: the setters run on the main thread (or the upload-loop thread for settings pushed by
// the server); Authenticate, UploadFile and the loop run on the upload-loop thread only, which
// alone uses m_client; Stop runs on the owner's thread and may abort m_client's request through
// its thread-safe gate. m_mutex guards every session string and the request-ready flag;
// counters, flags and the callbacks are atomics.
#include "session/velmo_connect.h"

#include <cwchar>

#include "base/codepage.h"
#include "base/utf16.h"
#include "session/session_encoders.h"

namespace zk {

CVelmoConnect::CVelmoConnect() {
    m_client.SetInternetSettings(kUserAgent, 0, nullptr, nullptr, 0);
    m_client.SetUseUtf8(false);
    m_client.SetAnsiCodePage(kSessionCodePage);
    m_client.SetTimeouts(kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);
}

void CVelmoConnect::SetTimeouts(unsigned connectMs, unsigned sendMs, unsigned receiveMs) {
    m_client.SetTimeouts(connectMs, sendMs, receiveMs);
}

CVelmoConnect::~CVelmoConnect() {
    Stop();
    SetRegistry(nullptr);
}

void CVelmoConnect::SetRegistry(CZKRBTree* registry) {
    if (m_registry) m_registry->RemoveWorkListener(&m_thread.Wake());
    m_registry = registry;
    if (m_registry) m_registry->AddWorkListener(&m_thread.Wake());
}

void CVelmoConnect::DetachCallbacks() {
    m_authCallback = nullptr;
    m_transferCallback = nullptr;
}

bool CVelmoConnect::Start() {
    m_client.ClearAbort();
    return m_thread.Start();
}

// The loop notices the stop event between steps. A request blocked on a server that does not
// answer would hold it up for as long as the server likes: after a short grace the request is
// aborted (WinINet: its internet handle is closed from this thread), so that the end is prompt.
bool CVelmoConnect::Stop(std::chrono::milliseconds limit) {
    m_thread.StopEvent().Set();
    if (!m_thread.WaitForEnd(std::chrono::milliseconds(1500))) m_client.Abort();
    if (!m_thread.WaitForEnd(limit)) return false;
    m_thread.StopAndWait();
    return true;
}

void CVelmoConnect::SetVersionString(const std::wstring& text) {
    std::lock_guard lock(m_mutex);
    m_version = text;
}

void CVelmoConnect::SetAuthServerUrl(const std::wstring& text) {
    std::lock_guard lock(m_mutex);
    m_authServerUrl = text;
    RebuildRequest();
}

void CVelmoConnect::SetUserName(const std::wstring& text) {
    std::lock_guard lock(m_mutex);
    m_userName = text;
    RebuildRequest();
}

void CVelmoConnect::SetPassword(const std::wstring& text) {
    std::lock_guard lock(m_mutex);
    m_password = text;
    RebuildRequest();
}

// m_mutex held.
void CVelmoConnect::RebuildRequest() {
    m_requestReady = !m_userName.empty() && !m_password.empty() && !m_authServerUrl.empty();
    if (!m_requestReady) return;
    m_authRequestUrl = m_authServerUrl + L"?QHU=" + SessionUrlEncode(m_userName) + L"&QHP=" + SessionUrlEncode(m_password) +
                       L"&QHV=" + m_version;
}

bool CVelmoConnect::IsRequestReady() const {
    std::lock_guard lock(m_mutex);
    return m_requestReady;
}

void CVelmoConnect::ResetSession() {
    {
        std::lock_guard lock(m_mutex);
        for (std::wstring* s : {&m_responseHeaders, &m_responseBody, &m_uid, &m_aid, &m_ftpHost, &m_ftpPort, &m_ftpLogin,
                                &m_ftpPassword, &m_httpHost, &m_httpPort, &m_httpPath, &m_httpLogin, &m_httpPassword,
                                &m_uploadUrl, &m_uploadAuthorization})
            s->clear();
    }
    m_authenticated = false;
    m_client.CancelPost();
}

void CVelmoConnect::SetError(const std::wstring& text, int32_t code, bool raise) {
    {
        std::lock_guard lock(m_mutex);
        m_lastErrorText = text;
        m_lastErrorCode = code;
    }
    if (raise) throw Failure{};
}

void CVelmoConnect::SetInternalError(const char* what) {
    std::wstring text = kTextInternal;
    for (const char* p = what ? what : ""; *p; ++p) text.push_back(static_cast<unsigned char>(*p) < 0x80 ? static_cast<wchar_t>(*p) : L'?');
    SetError(text, kErrInternal, false);
}

void CVelmoConnect::CheckStop() {
    if (Stopping()) SetError(kTextStopped, kErrStopped, true);
}

bool CVelmoConnect::IsTextAnswer(CHttpResponseT& response) {
    const wchar_t* type = response.GetHeader(L"Content-Type");
    return type && std::wcslen(type) >= 5 && EqualsNoCase(std::wstring_view(type, 5), L"text/");
}

std::wstring CVelmoConnect::ReadAnswer(CHttpResponseT& response, bool text, bool raiseBlockEvents) {
    std::wstring body;
    std::string block(kReadBlock, '\0');
    size_t total = 0;
    while (const uint32_t n = response.ReadContent(block.data(), kReadBlock)) {
        CheckStop();
        // A server that never stops talking must not fill the memory.
        if ((total += n) > kAnswerLimit) SetError(kTextAnswerTooLong, kErrAnswerTooLong, true);
        if (text) {
            std::wstring piece;
            (void)CodePageToWide(kSessionCodePage, std::string_view(block.data(), n), piece);
            body += piece;
        }
        if (raiseBlockEvents) RaiseAuth(kAuthBlockRead);
    }
    return body;
}

void CVelmoConnect::SetCurrentTask(const CZKRBTreeNode* task) {
    std::lock_guard lock(m_mutex);
    m_currentTaskName = task ? task->Name() : std::wstring();
}

void CVelmoConnect::SetCurrentFile(const std::wstring& path) {
    std::lock_guard lock(m_mutex);
    m_currentFile = path;
}

bool CVelmoConnect::FailurePause() { return PauseUnlessStopped(m_thread.StopEvent(), std::chrono::milliseconds(5000)); }

int32_t CVelmoConnect::LastErrorCode() const {
    std::lock_guard lock(m_mutex);
    return m_lastErrorCode;
}

std::wstring CVelmoConnect::LastErrorText() const {
    std::lock_guard lock(m_mutex);
    return m_lastErrorText;
}

SessionSnapshot CVelmoConnect::Snapshot() const {
    SessionSnapshot s;
    {
        std::lock_guard lock(m_mutex);
        s.authUrl = m_authServerUrl;
        s.userName = m_userName;
        s.password = m_password;
        s.version = m_version;
        s.responseHeaders = m_responseHeaders;
        s.responseBody = m_responseBody;
        s.uid = m_uid;
        s.aid = m_aid;
        s.ftpHost = m_ftpHost;
        s.ftpPort = m_ftpPort;
        s.ftpLogin = m_ftpLogin;
        s.ftpPassword = m_ftpPassword;
        s.httpHost = m_httpHost;
        s.httpPort = m_httpPort;
        s.httpPath = m_httpPath;
        s.httpLogin = m_httpLogin;
        s.httpPassword = m_httpPassword;
        s.uploadUrl = m_uploadUrl;
        s.uploadAuthorization = m_uploadAuthorization;
        s.lastErrorText = m_lastErrorText;
        s.lastErrorCode = m_lastErrorCode;
        s.serverAnswer = m_serverAnswer;
        s.currentFile = m_currentFile;
        s.currentTaskName = m_currentTaskName;
        s.serverParams = m_serverParams;
    }
    s.currentFileTotal = m_currentFileTotal;
    s.currentFilePosted = m_currentFilePosted;
    s.tasksSent = m_tasksSent;
    s.filesSent = m_filesSent;
    s.bytesSent = m_bytesSent;
    s.authenticated = m_authenticated;
    return s;
}

unsigned CVelmoConnect::_CThread::ThreadBody() {
    if (m_owner) m_owner->Run();
    return 0;
}

}  // namespace zk
