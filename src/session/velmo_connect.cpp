// The server session object: settings, state, errors, start and stop.
// Threads: the setters run on the main thread (or the upload-loop thread for settings pushed by
// the server); Authenticate, UploadFile and the loop run on the upload-loop thread only, which
// alone uses the clients (but for the spare one while an upload ahead holds it, upload_ahead.h);
// Stop runs on the owner's thread and may abort the clients' requests through their thread-safe
// gates. m_mutex guards the session's state (one struct), the request-ready flag
// and the request URL; the re-authenticate flag and the callbacks are atomics.
#include "session/velmo_connect.h"

#include <algorithm>
#include <cwchar>
#include <exception>

#include "base/codepage.h"
#include "base/utf16.h"
#include "http/http_errors.h"
#include "http/net_error_words.h"
#include "session/session_encoders.h"

namespace zk {

CVelmoConnect::CVelmoConnect() {
    for (CHttpClientT& c : m_clients) {
        c.SetInternetSettings(kUserAgent, 0, nullptr, nullptr, 0);
        c.SetUseUtf8(false);
        c.SetAnsiCodePage(kSessionCodePage);
        c.SetTimeouts(kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);
    }
}

void CVelmoConnect::SetTimeouts(unsigned connectMs, unsigned sendMs, unsigned receiveMs) {
    for (CHttpClientT& c : m_clients) c.SetTimeouts(connectMs, sendMs, receiveMs);
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
    for (CHttpClientT& c : m_clients) c.ClearAbort();
    return m_thread.Start();
}

// The loop notices the stop event between steps. A request blocked on a server that does not
// answer would hold it up for as long as the server likes: after a short grace the request is
// aborted and the wait for its call given up, so that the end is prompt. Calls given up (now or
// earlier) end on their own; they are waited for a little, and otherwise left to end with the
// process: they own what they use.
bool CVelmoConnect::Stop(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + std::min<std::chrono::milliseconds>(limit, std::chrono::seconds(2));
    m_thread.StopEvent().Set();
    if (!m_thread.WaitForEnd(std::chrono::milliseconds(1500)))
        for (CHttpClientT& c : m_clients) c.Abort();
    if (!m_thread.WaitForEnd(limit)) return false;
    m_thread.StopAndWait();
    m_ahead.Drop();  // the loop drops it on its way out; this covers a loop that never ran
    for (CHttpClientT& c : m_clients) (void)c.WaitForStuckCalls(until);
    return true;
}

void CVelmoConnect::SetVersionString(const std::wstring& text) {
    std::lock_guard lock(m_mutex);
    m_state.version = text;
}

void CVelmoConnect::SetAuthServerUrl(const std::wstring& text) {
    std::lock_guard lock(m_mutex);
    m_state.authUrl = text;
    RebuildRequest();
}

void CVelmoConnect::SetUserName(const std::wstring& text) {
    std::lock_guard lock(m_mutex);
    m_state.userName = text;
    RebuildRequest();
}

void CVelmoConnect::SetPassword(const std::wstring& text) {
    std::lock_guard lock(m_mutex);
    m_state.password = text;
    RebuildRequest();
}

// m_mutex held.
void CVelmoConnect::RebuildRequest() {
    m_requestReady = !m_state.userName.empty() && !m_state.password.empty() && !m_state.authUrl.empty();
    if (!m_requestReady) return;
    m_authRequestUrl = m_state.authUrl + L"?QHU=" + SessionUrlEncode(m_state.userName) + L"&QHP=" + SessionUrlEncode(m_state.password) +
                       L"&QHV=" + m_state.version;
}

bool CVelmoConnect::IsRequestReady() const {
    std::lock_guard lock(m_mutex);
    return m_requestReady;
}

void CVelmoConnect::ResetSession() {
    {
        std::lock_guard lock(m_mutex);
        static_cast<SessionEndpoint&>(m_state) = SessionEndpoint{};
        m_state.authenticated = false;
    }
    CancelUploads();
    m_ahead.Forget();
}

void CVelmoConnect::CancelUploads() {
    m_ahead.Drop();
    Client().CancelPost();
}

void CVelmoConnect::SetError(const std::wstring& text, int32_t code, bool raise) {
    {
        std::lock_guard lock(m_mutex);
        m_state.lastErrorText = text;
        m_state.lastErrorCode = code;
        m_state.lastOsError = 0;
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
    if (Paused()) SetError(kTextPaused, kErrPaused, true);
}

void CVelmoConnect::Pause() {
    {
        std::lock_guard lock(m_pauseMutex);
        m_paused = true;
        for (CHttpClientT& c : m_clients) c.Abort();  // a call blocked on the server ends too
    }
    m_thread.Wake().Raise();
}

void CVelmoConnect::Resume() {
    {
        std::lock_guard lock(m_pauseMutex);
        m_paused = false;
        for (CHttpClientT& c : m_clients) c.ClearAbort();
    }
    m_thread.Wake().Raise();
}

bool CVelmoConnect::IsTextAnswer(CHttpResponseT& response) {
    const wchar_t* type = response.GetHeader(L"Content-Type");
    return type && std::wcslen(type) >= 5 && EqualsNoCase(std::wstring_view(type, 5), L"text/");
}

std::wstring CVelmoConnect::ReadAnswer(CHttpResponseT& response, bool text, bool raiseBlockEvents, uint32_t prefix) {
    std::wstring body;
    std::string block(kReadBlock, '\0');
    size_t total = 0;
    while (prefix == 0 || total < prefix) {
        const uint32_t want = prefix == 0 ? kReadBlock : std::min<uint32_t>(kReadBlock, prefix - static_cast<uint32_t>(total));
        const uint32_t n = response.ReadContent(block.data(), want);
        if (n == 0) break;
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
    m_state.currentTaskName = task ? task->Name() : std::wstring();
}

void CVelmoConnect::SetCurrentFile(const std::wstring& path) {
    std::lock_guard lock(m_mutex);
    m_state.currentFile = path;
}

void CVelmoConnect::SetFileProgress(int32_t total, int32_t posted) {
    std::lock_guard lock(m_mutex);
    m_state.currentFileTotal = total;
    m_state.currentFilePosted = posted;
}

uint32_t CVelmoConnect::RecordCaught(std::exception_ptr caught) {
    try {
        std::rethrow_exception(caught);
    } catch (const Failure&) {
        // recorded where it was raised
    } catch (const httpclientexceptionW& e) {
        SetError(ExplainNetFailure(e.Message(), e.OsError()), static_cast<int32_t>(e.ErrorCode()), false);
        std::lock_guard lock(m_mutex);
        m_state.lastOsError = e.OsError();
        return e.OsError();
    } catch (const std::exception& e) {
        SetInternalError(e.what());
    } catch (...) {
        SetInternalError("unknown exception");
    }
    return 0;
}

// Ends early for the stop, a pause of the sending, or TryNow(); new work only makes it look again.
bool CVelmoConnect::FailurePause() {
    m_thread.NotePause();
    const auto end = std::chrono::steady_clock::now() + m_failurePause;
    while (!Stopping()) {
        if (m_tryNow.exchange(false) || Paused()) return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return false;
        m_thread.Rest(std::chrono::ceil<std::chrono::milliseconds>(end - now));
    }
    return true;
}

int32_t CVelmoConnect::LastErrorCode() const {
    std::lock_guard lock(m_mutex);
    return m_state.lastErrorCode;
}

std::wstring CVelmoConnect::LastErrorText() const {
    std::lock_guard lock(m_mutex);
    return m_state.lastErrorText;
}

SessionSnapshot CVelmoConnect::Snapshot() const {
    std::lock_guard lock(m_mutex);
    SessionSnapshot s = m_state;
    s.paused = m_paused.load();
    return s;
}

uint64_t CVelmoConnect::BytesSent() const {
    std::lock_guard lock(m_mutex);
    return m_state.bytesSent;
}

bool CVelmoConnect::IsAuthenticated() const {
    std::lock_guard lock(m_mutex);
    return m_state.authenticated;
}

unsigned CVelmoConnect::_CThread::ThreadBody() {
    if (m_owner) m_owner->Run();
    return 0;
}

}  // namespace zk
