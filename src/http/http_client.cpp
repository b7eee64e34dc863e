#include "http/http_client.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <cwchar>
#include <functional>
#include <new>
#include <utility>

#include "base/codepage.h"
#include "base/utf16.h"
#include "http/http_encoder.h"
#include "http/http_errors.h"
#include "http/safe_int.h"

namespace zk {
namespace {

constexpr const wchar_t* kDefaultAgent = L"Qamtu HTTP Client Class";

bool IsHttps(const wchar_t* url, const HttpUrlParts& p) {
    if (p.schemeLen != 5) return false;
    return EqualsNoCase(std::wstring_view(url + p.schemeStart, 5), L"HTTPS");
}

std::wstring Slice(const wchar_t* url, uint32_t start, uint32_t len) { return std::wstring(url + start, len); }

}  // namespace

CHttpClientT::CHttpClientT() {
    net::Guid g{};
    if (net::CreateGuid(g)) {
        wchar_t buf[64];
        std::swprintf(buf, 64, L"----TEBRO-%.08x%.04x%.04x%.02x%.02x%.02x%.02x%.02x%.02x%.02x%.02x-", g.data1, g.data2, g.data3,
                      g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
        std::string narrow;
        if (WideToCodePage(kCodePageAnsi, buf, narrow)) {
            m_boundary = buf;
            m_boundaryNarrow = narrow;
        }
    }
    if (m_boundary.empty()) {
        m_boundary = kFixedBoundary;
        m_boundaryNarrow = ToUtf8(kFixedBoundary);
    }
    m_contentType = L"multipart/form-data; boundary=" + m_boundary;
}

CHttpClientT::~CHttpClientT() { CancelPost(); }

uint32_t CHttpClientT::SafeLenOf(const std::string& s) { return SafeLen(s.size()); }

void CHttpClientT::SetInternetSettings(const wchar_t* userAgent, uint32_t accessType, const wchar_t* proxy, const wchar_t* bypass,
                                       uint32_t flags) {
    m_hasUserAgent = userAgent != nullptr;
    m_userAgent = userAgent ? userAgent : L"";
    m_accessType = accessType;
    m_hasProxy = proxy != nullptr;
    m_proxy = proxy ? proxy : L"";
    m_hasBypass = bypass != nullptr;
    m_bypass = bypass ? bypass : L"";
    m_internetFlags = flags;
}

void CHttpClientT::SetTimeouts(uint32_t connectMs, uint32_t sendMs, uint32_t receiveMs) {
    m_connectMs = connectMs;
    m_sendMs = sendMs;
    m_receiveMs = receiveMs;
}

void CHttpClientT::SetUseUtf8(bool on) {
    if (IsPosting())
        ThrowHttpPrecondition("CHttpClientT::SetUseUtf8: It is not allowed to call this method if the POST context is active.");
    m_useUtf8 = on;
}

void CHttpClientT::SetAnsiCodePage(unsigned codePage) {
    if (IsPosting())
        ThrowHttpPrecondition("CHttpClientT::SetAnsiCodePage: It is not allowed to call this method if the POST context is active.");
    m_codePage = codePage;
}

void CHttpClientT::AddHeader(const wchar_t* szName, const wchar_t* szValue) {
    if (!szValue) ThrowHttpPrecondition("CHttpClientT::AddHeader: szValue can not be NULL.");
    if (!*szValue) ThrowHttpPrecondition("CHttpClientT::AddHeader: szValue can not be an empty string.");
    m_headers.Add(szName, szValue, 0);
}

void CHttpClientT::AddParam(const wchar_t* szName, const wchar_t* szValue, uint32_t flags) {
    if (IsPosting())
        ThrowHttpPrecondition("CHttpClientT::AddParam: It is not allowed to call this method if the POST context is active.");
    m_params.Add(szName, szValue, flags);
}

void CHttpClientT::ClearParam() {
    if (IsPosting())
        ThrowHttpPrecondition("CHttpClientT::ClearParam: It is not allowed to call this method if the POST context is active.");
    m_params.Clear();
}

// ---- connection and request ----

std::shared_ptr<HttpRequestHandles> CHttpClientT::OpenInternet() const {
    auto handles = std::make_shared<HttpRequestHandles>();
    handles->internet.reset(CHttpToolW::OpenInternet(m_hasUserAgent ? m_userAgent.c_str() : kDefaultAgent, m_accessType,
                                                     m_hasProxy ? m_proxy.c_str() : nullptr, m_hasBypass ? m_bypass.c_str() : nullptr,
                                                     m_internetFlags));
    if (!m_gate->Register(handles)) ThrowHttpCode(kHttpErrUnexpected);  // aborted: no new requests
    return handles;
}

HttpHandle CHttpClientT::OpenConnection(const wchar_t* url, HttpHandle hInternet) const {
    if (!hInternet) ThrowHttpPrecondition("CHttpClientT::OpenConnection: hInternet can not be NULL.");
    const HttpUrlParts p = CHttpUrlAnalyzerT::Analyze(m_codePage, url);
    uint32_t port = IsHttps(url, p) ? 443 : 80;
    if (p.portLen > 0) {
        if (p.portLen > 5) ThrowHttpCode(kHttpErrInvalidPort);
        const std::wstring text = Slice(url, p.portStart, p.portLen);
        uint32_t value = 0;
        for (wchar_t c : text) {
            if (c < L'0' || c > L'9') ThrowHttpCode(kHttpErrInvalidPort);
            value = value * 10 + static_cast<uint32_t>(c - L'0');
        }
        if (value > 65535) ThrowHttpCode(kHttpErrInvalidPort);
        port = value;
    }
    if (p.hostLen == 0) ThrowHttpCode(kHttpErrInvalidUrl);
    const std::wstring host = Slice(url, p.hostStart, p.hostLen);
    return CHttpToolW::OpenConnection(hInternet, host.c_str(), static_cast<uint16_t>(port));
}

HttpHandle CHttpClientT::OpenRequest(const wchar_t* url, HttpHandle hConnection, const wchar_t* verb, uint32_t flags) const {
    if (!hConnection) ThrowHttpPrecondition("CHttpClientT::OpenRequest: hConnection can not be NULL.");
    const HttpUrlParts p = CHttpUrlAnalyzerT::Analyze(m_codePage, url);
    if (IsHttps(url, p)) flags |= kHttpFlagSecure;
    std::wstring object;
    if (p.pathLen > 0) {
        object = std::wstring(url + p.pathStart);
    } else {
        object = L"/" + std::wstring(url + p.pathStart);
    }
    UniqueHttpHandle hRequest(CHttpToolW::OpenRequest(hConnection, object.c_str(), verb, flags, m_codePage));
    // On the request itself: Wine's WinINet does not pass the internet handle's time-outs on. A
    // write blocked longer than the stall bound moves nothing: it fails there.
    const uint32_t sendMs = m_sendMs == 0 ? kStallMs : std::min(m_sendMs, kStallMs);
    if (!net::SetTimeouts(hRequest.get(), m_connectMs, sendMs, m_receiveMs)) ThrowHttpCodeOs(kHttpErrOpenRequest, net::LastError());
    if (flags & kHttpFlagPragmaNoCache) CHttpToolW::AddHeader(hRequest.get(), L"Cache-Control", L"no-cache", m_codePage);
    AddRequestHeader(hRequest.get());
    return hRequest.release();
}

void CHttpClientT::AddRequestHeader(HttpHandle hRequest) const {
    if (!hRequest) ThrowHttpPrecondition("CHttpClientT::AddRequestHeader: hRequest can not be NULL.");
    for (const auto& e : m_headers.Entries()) CHttpToolW::AddHeader(hRequest, e.name.c_str(), e.ValueOrEmpty(), m_codePage);
}

std::wstring CHttpClientT::MakeGetUrl(const wchar_t* url) const {
    if (m_params.Empty()) return url ? std::wstring(url) : std::wstring();
    auto encode = [&](const std::wstring& text, bool already) {
        if (already) return text;
        const uint32_t n = CHttpEncoderW::UrlEncodeLen(text.c_str(), m_useUtf8, m_codePage);
        std::wstring out(SafeAdd(n, 1), L'\0');
        CHttpEncoderW::UrlEncodeW(text.c_str(), out.data(), m_useUtf8, m_codePage);
        out.resize(n);
        return out;
    };
    std::wstring out;
    HttpUrlParts p{};
    if (url) {
        p = CHttpUrlAnalyzerT::Analyze(m_codePage, url);
        out.append(url, p.pathStart);
        if (p.pathLen == 0) out.push_back(L'/');
        out.append(url + p.pathStart, p.pathLen + p.queryLen);
        out.push_back(p.queryLen > 0 ? L'&' : L'?');
    }
    bool first = true;
    for (const auto& e : m_params.Entries()) {
        if (!first) out.push_back(L'&');
        first = false;
        out += encode(e.name, e.flags & kParamNameEncoded);
        out.push_back(L'=');
        out += encode(e.value ? *e.value : std::wstring(), e.flags & kParamValueEncoded);
    }
    if (url) out.append(url + p.fragmentStart, p.fragmentLen);
    return out;
}

HttpCallBounds CHttpClientT::Bounds(HttpCallRunner::Clock::time_point answer) const {
    return {HttpCallRunner::Clock::now() + std::chrono::milliseconds(m_stallMs), answer};
}

HttpCallRunner::Clock::time_point CHttpClientT::AnswerDue() const {
    if (m_answerDeadlineMs == 0) return HttpCallRunner::Clock::time_point::max();
    return HttpCallRunner::Clock::now() + std::chrono::milliseconds(m_answerDeadlineMs);
}

// ---- GET ----

std::unique_ptr<CHttpResponseT> CHttpClientT::PerformGet(const wchar_t* url, uint32_t flags) {
    CancelPost();
    try {
        std::shared_ptr<HttpRequestHandles> handles = OpenInternet();
        const auto answerDue = AnswerDue();
        handles->connection.reset(OpenConnection(url, handles->internet.get()));
        const std::wstring getUrl = m_params.Empty() ? std::wstring(url ? url : L"") : MakeGetUrl(url);
        handles->request.reset(OpenRequest(getUrl.c_str(), handles->connection.get(), L"GET", flags));
        RunRequestCall(*m_runner, handles, kHttpErrSendRequest, Bounds(answerDue),
                       [handles, codePage = m_codePage] { CHttpToolW::SendRequest(handles->request.get(), codePage); });
        return std::make_unique<CHttpResponseT>(std::move(handles), m_runner, answerDue, std::chrono::milliseconds(m_stallMs));
    } catch (const httpclientexceptionW&) {
        throw;
    } catch (...) {
        ThrowHttpCode(kHttpErrUnexpected);
    }
}

// ---- upload ----

std::string CHttpClientT::Encode(const wchar_t* text) const {
    const uint32_t n = m_useUtf8 ? CHttpEncoderW::Utf8EncodeLen(text) : CHttpEncoderW::AnsiEncodeLen(m_codePage, text);
    std::string out(SafeAdd(n, 1), '\0');
    if (m_useUtf8) CHttpEncoderW::Utf8Encode(text, out.data()); else CHttpEncoderW::AnsiEncode(m_codePage, text, out.data());
    out.resize(n);
    return out;
}

uint32_t CHttpClientT::EncodedLen(const wchar_t* text) const {
    return m_useUtf8 ? CHttpEncoderW::Utf8EncodeLen(text) : CHttpEncoderW::AnsiEncodeLen(m_codePage, text);
}

void CHttpClientT::StartUpload(const wchar_t* url, uint32_t flags) {
    CancelPost();
    m_answerWasSlow = false;
    std::vector<UniqueHttpFile> files;  // closed when the set-up fails
    std::vector<std::unique_ptr<char[]>> mimes;
    std::vector<std::pair<std::wstring, FileIdentity>> identities;
    m_sentIdentities.clear();
    try {
        uint32_t L = 0, totalBytes = 0, fileCount = 0;
        const auto& params = m_params.Entries();
        std::wstring firstName, firstPath;
        uint32_t firstSize = 0;
        bool firstIsFile = false;
        if (!params.empty()) {
            for (const auto& e : params)
                if (e.flags & kParamFile) ++fileCount;
            files.resize(fileCount);
            identities.assign(fileCount, {});
            mimes.resize(fileCount);
            uint32_t slot = 0;
            for (size_t i = 0; i < params.size(); ++i) {
                const auto& e = params[i];
                uint32_t dataLen;
                std::string head;
                if (e.flags & kParamFile) {
                    files[slot].reset(CHttpToolW::OpenFile(e.ValueOrEmpty()));
                    const HttpFileHandle file = files[slot].get();
                    identities[slot].first = e.name;
                    (void)CHttpToolW::GetFileIdentity(file, identities[slot].second);
                    dataLen = files[slot] ? CHttpToolW::GetFileSize(file, e.ValueOrEmpty()) : 0;
                    mimes[slot] = CHttpToolW::GetMimeType(file, m_codePage);
                    head = FilePartHead(e.name.c_str(), e.ValueOrEmpty(), mimes[slot].get());
                    ++slot;
                } else {
                    dataLen = EncodedLen(e.ValueOrEmpty());
                    head = TextPartHead(e.name.c_str());
                }
                // The part as _ProceedUploadContext writes it: its head, its data, CR LF.
                L = SafeAdd(L, SafeAdd(SafeAdd(SafeLenOf(head), dataLen), SafeLen(std::strlen(kPartEnd))));
                totalBytes = SafeAdd(totalBytes, dataLen);
                if (i == 0) {
                    firstName = e.name;
                    firstSize = dataLen;
                    firstIsFile = (e.flags & kParamFile) != 0;
                    firstPath = e.ValueOrEmpty();
                }
            }
            L = SafeAdd(L, SafeLenOf(ClosingLine()));
        } else {
            L = SafeLenOf(EmptyBody());
        }
        // A server whose answers stalled on kept-alive connections gets a new one per upload.
        if (m_connections->Fresh()) net::DropIdleConnections();
        std::shared_ptr<HttpRequestHandles> handles = OpenInternet();
        handles->connection.reset(OpenConnection(url, handles->internet.get()));
        handles->request.reset(OpenRequest(url, handles->connection.get(), L"POST", flags));
        CHttpToolW::AddHeader(handles->request.get(), L"Content-Type", m_contentType.c_str(), m_codePage);
        RunRequestCall(*m_runner, handles, kHttpErrSendRequestEx, Bounds(),
                       [handles, L] { CHttpToolW::SendRequestEx(handles->request.get(), L); });
        m_writeBuffer.reset(new char[kWriteBufferSize]);
        m_writeUsed = 0;
        m_readPos = m_readLen = 0;

        m_progress.Activate(L, totalBytes, static_cast<uint32_t>(params.size()), fileCount);
        m_handles = std::move(handles);
        m_files = std::move(files);
        m_mimeTypes = std::move(mimes);
        m_sentIdentities = std::move(identities);
        if (!params.empty()) {
            m_startSnapshot = m_progress;
            m_startSnapshot.StartNewEntry(firstName.c_str(), firstIsFile ? firstPath.c_str() : nullptr, firstSize);
        }
    } catch (const httpclientexceptionW&) {
        m_progress.Reset();
        throw;
    } catch (const std::bad_alloc&) {
        m_progress.Reset();
        ThrowHttpCode(kHttpErrOutOfMemory);
    }
}

// The counters run ahead of the network by at most the write buffer.
void CHttpClientT::_WritePost(const void* bytes, uint32_t count, bool counted) {
    if (!m_handles || !m_handles->request) ThrowHttpPrecondition("CHttpClientT::_WritePost: m_hRequest can not be NULL.");
    if (!bytes || count == 0) return;
    if (counted) m_progress._TestAddPostedBytes(count);
    m_progress._TestAddActualPostedBytes(count);
    const auto* p = static_cast<const char*>(bytes);
    for (uint32_t left = count; left > 0;) {
        if (m_writeUsed >= m_writeSize) _FlushPost();
        const uint32_t n = std::min(left, m_writeSize - m_writeUsed);
        std::memcpy(m_writeBuffer.get() + m_writeUsed, p, n);
        m_writeUsed += n;
        p += n;
        left -= n;
    }
    if (counted) m_progress.AddPostedBytes(count);
    m_progress.AddActualPostedBytes(count);
}

void CHttpClientT::_FlushPost() {
    if (m_writeUsed == 0) return;
    const auto t0 = std::chrono::steady_clock::now();
    if (m_writesOnRunner) {
        RunRequestCall(*m_runner, m_handles, kHttpErrWriteFile, Bounds(), [handles = m_handles, buffer = m_writeBuffer, used = m_writeUsed] {
            CHttpToolW::InternetWriteFile(handles->request.get(), buffer.get(), used);
        });
    } else {
        CHttpToolW::InternetWriteFile(m_handles->request.get(), m_writeBuffer.get(), m_writeUsed);
    }
    _SizeNextWrite(m_writeUsed, std::chrono::steady_clock::now() - t0);
    m_writeUsed = 0;
}

// The rate counts waits and bursts alike (a socket buffer takes a burst at once and then holds
// the next write until the peer has read): writes grow at most twofold, and never beyond what
// the measured rate moves in kWriteTarget.
void CHttpClientT::_SizeNextWrite(uint32_t bytes, std::chrono::steady_clock::duration took) {
    using Seconds = std::chrono::duration<double>;
    const auto now = std::chrono::steady_clock::now();
    const double age = m_rateSeconds > 0 || m_rateBytes > 0 ? Seconds(now - m_rateAt).count() : 0.0;
    const double keep = std::exp2(-age);  // what was measured a second ago counts half
    m_rateBytes = m_rateBytes * keep + bytes;
    m_rateSeconds = m_rateSeconds * keep + Seconds(took).count();
    m_rateAt = now;
    double allowed = static_cast<double>(kWriteBufferSize);
    if (m_rateSeconds > 0) allowed = std::min(allowed, m_rateBytes / m_rateSeconds * Seconds(kWriteTarget).count());
    const double grown = bytes == m_writeSize ? 2.0 * m_writeSize : static_cast<double>(m_writeSize);
    m_writeSize = static_cast<uint32_t>(std::clamp(std::min(grown, allowed), static_cast<double>(kSmallestWrite),
                                                   static_cast<double>(kWriteBufferSize)));
}

std::unique_ptr<CHttpResponseT> CHttpClientT::ContinuePost() {
    try {
        return _ProceedUploadContext();
    } catch (const httpclientexceptionW&) {
        _ReleasePostResponse(false);
        throw;
    } catch (const std::bad_alloc&) {
        _ReleasePostResponse(false);
        ThrowHttpCode(kHttpErrOutOfMemory);
    }
}

void CHttpClientT::FlushPost() {
    if (!m_handles || !m_handles->request) return;
    try {
        _FlushPost();
    } catch (const httpclientexceptionW&) {
        _ReleasePostResponse(false);
        throw;
    }
}

std::unique_ptr<CHttpResponseT> CHttpClientT::_ProceedUploadContext() {
    if (!m_progress.IsActive()) ThrowHttpCode(kHttpErrPostNotStarted);
    if (!m_handles || !m_handles->internet) ThrowHttpPrecondition("CHttpClientT::_ProceedUploadContext: m_hInternet can not be NULL.");
    if (!m_handles->connection) ThrowHttpPrecondition("CHttpClientT::_ProceedUploadContext: m_hConnection can not be NULL.");
    if (!m_handles->request) ThrowHttpPrecondition("CHttpClientT::_ProceedUploadContext: m_hRequest can not be NULL.");

    if (m_progress.ActualPostedByte() == m_progress.ActualTotalByte()) {
        _FlushPost();  // the rest of the body, before waiting for the answer
        const auto answerDue = AnswerDue();
        HttpCallBounds bounds = Bounds(answerDue);
        bounds.slow = HttpCallRunner::Clock::now() + std::chrono::milliseconds(kSlowAnswerMs);
        RunRequestCall(*m_runner, m_handles, kHttpErrEndRequest, bounds, [handles = m_handles] { CHttpToolW::EndRequest(handles->request.get()); },
                       [this] {
                           m_answerWasSlow = true;
                           net::DropIdleConnections();
                       });
        auto response = _ReleasePostResponse(true, answerDue);
        response->ReportFirstBytes([choice = m_connections](std::chrono::steady_clock::duration wait) { choice->Record(wait); });
        return response;
    }
    const auto& params = m_params.Entries();
    if (params.empty()) {
        _WriteText(EmptyBody());
        return nullptr;
    }
    if (!m_progress.CurrParamIsComplete()) {
        const uint32_t n = std::min(kUploadStep, m_progress.CurrParamRemainByte());
        if (m_progress.CurrParamIsFile()) {
            // The file is read in blocks of the read buffer and sent from it step by step.
            if (m_readPos == m_readLen) {
                const uint32_t slot = m_progress.PostedFileCount() - 1;
                if (!m_readBuffer) m_readBuffer.reset(new char[kReadBufferSize]);
                const uint32_t want = std::min(kReadBufferSize, m_progress.CurrParamRemainByte());
                const uint32_t read = CHttpToolW::ReadFile(m_files[slot].get(), m_readBuffer.get(), want);
                if (read < want) ThrowHttpCode(kHttpErrShortRead);
                m_readPos = 0;
                m_readLen = read;
            }
            _WritePost(m_readBuffer.get() + m_readPos, n, true);
            m_readPos += n;
        } else {
            _WritePost(m_currentValue.data() + m_progress.CurrParamPostedByte(), n, true);
        }
        if (m_progress.CurrParamIsComplete()) _WriteText(kPartEnd);
        return nullptr;
    }
    const uint32_t posted = m_progress.PostedCount();
    if (posted < params.size()) {
        const auto& e = params[posted];
        uint32_t size = 0;
        if (e.flags & kParamFile) {
            const uint32_t slot = m_progress.PostedFileCount();
            if (m_files[slot]) size = CHttpToolW::GetFileSize(m_files[slot].get(), e.ValueOrEmpty());
            _WriteText(FilePartHead(e.name.c_str(), e.ValueOrEmpty(), m_mimeTypes[slot].get()));
            m_progress.StartNewEntry(e.name.c_str(), e.ValueOrEmpty(), size);
            m_readPos = m_readLen = 0;
        } else {
            m_currentValue = Encode(e.ValueOrEmpty());
            size = SafeLen(m_currentValue.size());
            _WriteText(TextPartHead(e.name.c_str()));
            m_progress.StartNewEntry(e.name.c_str(), nullptr, size);
        }
        if (size == 0) _WriteText(kPartEnd);
        return nullptr;
    }
    _WriteText(ClosingLine());
    return nullptr;
}

// ---- the texts of the body: written by the steps, and counted by StartUpload ----

std::string CHttpClientT::TextPartHead(const wchar_t* name) const {
    return "--" + m_boundaryNarrow + "\r\nContent-Disposition: form-data; name=\"" + Encode(name) + "\"\r\n\r\n";
}

std::string CHttpClientT::FilePartHead(const wchar_t* name, const wchar_t* path, const char* mime) const {
    return "--" + m_boundaryNarrow + "\r\nContent-Disposition: form-data; name=\"" + Encode(name) + "\"; filename=\"" + Encode(path) +
           "\"\r\nContent-Type: " + mime + "\r\n\r\n";
}

std::string CHttpClientT::ClosingLine() const { return "--" + m_boundaryNarrow + "--\r\n"; }

std::string CHttpClientT::EmptyBody() const { return "\r\n--" + m_boundaryNarrow + "--\r\n"; }

std::unique_ptr<CHttpResponseT> CHttpClientT::_ReleasePostResponse(bool toResponse, HttpCallRunner::Clock::time_point answerDue) {
    std::shared_ptr<HttpRequestHandles> handles = std::move(m_handles);
    m_files.clear();
    m_mimeTypes.clear();
    m_currentValue.clear();
    m_readBuffer.reset();
    m_readPos = m_readLen = 0;
    m_writeBuffer.reset();
    m_writeUsed = 0;
    m_progress.Reset();
    m_startSnapshot.Reset();
    if (!toResponse) return nullptr;  // the handles close here (or when a call given up on them ends)
    CHttpResponseT* r = new (std::nothrow) CHttpResponseT(std::move(handles), m_runner, answerDue, std::chrono::milliseconds(m_stallMs));
    if (!r) ThrowHttpCode(kHttpErrOutOfMemory);
    return std::unique_ptr<CHttpResponseT>(r);
}

FileIdentity CHttpClientT::SentFileIdentity(std::wstring_view name) const {
    for (const auto& [param, identity] : m_sentIdentities)
        if (param == name) return identity;
    return {};
}

void CHttpClientT::QueryPostStat(CHttpPostStatT& out) const {
    if (m_progress.IsActive() && !m_params.Empty() && m_progress.PostedCount() == 0) out = m_startSnapshot;
    else out = m_progress;
}

bool CHttpClientT::CancelPost() {
    if (!m_progress.IsActive() && !m_handles) return false;
    _ReleasePostResponse(false);
    return true;
}

}  // namespace zk
