// The HTTP client: request settings, a header map and a parameter map, a GET whose parameters
// go into the query string, and an upload: a multipart/form-data POST sent in small steps so
// that the caller can report progress and stop between steps. Every request opens its own
// internet, connection and request handle (HttpRequestHandles owns them); a finished request
// hands them to a response. The platform may keep the connection alive for the next request;
// whether an upload takes a kept-alive one or a fresh one is HttpConnectionChoice's, from the
// answers before it.
// Used by one thread at a time; failures are httpclientexceptionW. The blocking calls (sending,
// writing the body, the answer) run on the client's call runner (call_runner.h), each given up
// when nothing moves for the stall bound or the answer is overdue, whatever the platform does
// with a blocked call.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/file_identity.h"
#include "http/client_map.h"
#include "http/connection_choice.h"
#include "http/http_response.h"
#include "http/http_tool.h"
#include "http/post_stat.h"
#include "http/url_analyzer.h"

namespace zk {

// Request flags used by the session: reload, no cache write, keep connection, resynchronize,
// hyperlink, no UI, pragma no-cache.
inline constexpr uint32_t kHttpSessionFlags = 0x84400F00;
inline constexpr uint32_t kHttpFlagSecure = 0x00800000;
inline constexpr uint32_t kHttpFlagPragmaNoCache = 0x00000100;
// A redirect is an answer of its own, not a request to follow: a POST followed by the GET of a
// redirect would take that GET's answer for the upload's.
inline constexpr uint32_t kHttpFlagNoAutoRedirect = 0x00200000;
// Parameter flags.
inline constexpr uint32_t kParamFile = 1;
inline constexpr uint32_t kParamNameEncoded = 2;
inline constexpr uint32_t kParamValueEncoded = 4;

inline constexpr wchar_t kFixedBoundary[] = L"----QAMTU-FB3B405B7EAE495aB0C0295C54D4E096-";
inline constexpr uint32_t kUploadStep = 1024;
inline constexpr uint32_t kReadBufferSize = 0xE000;
// Below the steps, the body goes to the platform in writes of up to this size: one platform call
// per 1,024-byte step would cost more than the network. A stop is seen between steps only, so
// each write is sized by the rate measured from the writes before it to take about
// kWriteTarget; on a slow line writes shrink to one step.
inline constexpr uint32_t kWriteBufferSize = 0x40000;
inline constexpr uint32_t kSmallestWrite = kUploadStep;
inline constexpr std::chrono::milliseconds kWriteTarget{50};
// The whole answer of a request must have arrived this long after its body was sent (a GET:
// after it was opened). The per-operation time-outs restart with every byte received.
inline constexpr uint32_t kAnswerDeadlineMs = 120000;
// A blocking call that has not returned this long (nothing sent, nothing received: a connection
// gone silent, an answer's head that trickles) is given up and its request failed.
inline constexpr uint32_t kStallMs = 20000;
// An upload's answer still awaited this long lets the idle kept-alive connections go: a server
// that serves one connection at a time may be waiting on one of them instead of this request.
inline constexpr uint32_t kSlowAnswerMs = 1000;

class CHttpClientT {
public:
    CHttpClientT();
    CHttpClientT(const CHttpClientT&) = delete;
    CHttpClientT& operator=(const CHttpClientT&) = delete;
    // Cancels a running upload.
    virtual ~CHttpClientT();

    void SetInternetSettings(const wchar_t* userAgent, uint32_t accessType, const wchar_t* proxy, const wchar_t* bypass,
                             uint32_t flags);
    // Time-outs of every later request, in milliseconds (0: the platform's own). Send and
    // receive count from the last progress, so a slow but live server has all the time a big
    // file needs; a dead peer fails the request instead of holding it for ever.
    void SetTimeouts(uint32_t connectMs, uint32_t sendMs, uint32_t receiveMs);
    // The bound of every later request's answer, in milliseconds (kAnswerDeadlineMs unless set).
    // Past it the request fails with the platform's time-out error.
    void SetAnswerDeadline(uint32_t ms) { m_answerDeadlineMs = ms; }
    // The stall bound of every later blocking call, in milliseconds (kStallMs unless set).
    void SetStallBound(uint32_t ms) { m_stallMs = ms; }
    [[nodiscard]] uint32_t StallBound() const { return m_stallMs; }
    // Where the body's writes run. By default on the caller's thread, bounded by the platform's
    // send time-out (which requests take no longer than the stall bound): a call per write to
    // another thread would cost a quarter of the throughput of a fast line under Wine. With
    // `onRunner`, on the call runner, bounded by the stall bound whatever the platform does.
    void SetWritesOnRunner(bool onRunner) { m_writesOnRunner = onRunner; }
    void SetUseUtf8(bool on);
    void SetAnsiCodePage(unsigned codePage);
    void AddHeader(const wchar_t* szName, const wchar_t* szValue);
    void ClearHeader() { m_headers.Clear(); }
    void AddParam(const wchar_t* szName, const wchar_t* szValue, uint32_t flags = 0);
    void ClearParam();

    // A new response owned by the caller.
    std::unique_ptr<CHttpResponseT> PerformGet(const wchar_t* url, uint32_t flags);
    // Opens the request and announces the body.
    void StartUpload(const wchar_t* url, uint32_t flags);
    // One step; null while the upload goes on, the response once it is complete.
    std::unique_ptr<CHttpResponseT> ContinuePost();
    // Hands the body bytes gathered so far to the platform, not waiting for a full write.
    void FlushPost();
    void QueryPostStat(CHttpPostStatT& out) const;
    // True when an upload was running.
    bool CancelPost();
    [[nodiscard]] bool IsPosting() const { return m_progress.IsActive(); }
    // Whether the last upload's answer took longer than kSlowAnswerMs to begin.
    [[nodiscard]] bool AnswerWasSlow() const { return m_answerWasSlow; }
    // Any thread: the request in progress fails at once, also one blocked on a server that does
    // not answer, and new requests are refused (code 100) until ClearAbort().
    void Abort() {
        m_gate->Abort();
        m_runner->Interrupt();
    }
    void ClearAbort() {
        m_gate->Clear();
        m_runner->ClearInterrupt();
    }
    // Waits up to `until` for the blocking calls given up so far to end on their own; true when
    // none is left (the rest end by themselves: they own what they use).
    bool WaitForStuckCalls(std::chrono::steady_clock::time_point until) { return m_runner->WaitForStuck(until); }
    [[nodiscard]] int StuckCalls() const { return m_runner->Stuck(); }

    // The identity of the file parameter `slot` (0 for the first) taken from the handle the last
    // upload read it through; all zero when the file could not be opened or its identity read.
    [[nodiscard]] FileIdentity SentFileIdentity(uint32_t slot) const {
        return slot < m_sentIdentities.size() ? m_sentIdentities[slot].second : FileIdentity{};
    }
    // The same for the file parameter of that name (the first of them).
    [[nodiscard]] FileIdentity SentFileIdentity(std::wstring_view name) const;
    // The bytes gathered before the next write to the platform (for tests).
    [[nodiscard]] uint32_t WriteSize() const { return m_writeSize; }
    // Whether the next upload takes a connection of its own (for tests and benchmarks).
    [[nodiscard]] bool FreshConnections() const { return m_connections->Fresh(); }

    [[nodiscard]] const std::wstring& Boundary() const { return m_boundary; }
    [[nodiscard]] const std::wstring& ContentType() const { return m_contentType; }
    // The GET URL for `url` with the parameter map appended (exposed for its own tests).
    std::wstring MakeGetUrl(const wchar_t* url) const;

private:
    // A new internet handle, registered with the abort gate, in the handles of a request.
    std::shared_ptr<HttpRequestHandles> OpenInternet() const;
    HttpHandle OpenConnection(const wchar_t* url, HttpHandle hInternet) const;
    HttpHandle OpenRequest(const wchar_t* url, HttpHandle hConnection, const wchar_t* verb, uint32_t flags) const;
    void AddRequestHeader(HttpHandle hRequest) const;
    std::string Encode(const wchar_t* text) const;
    uint32_t EncodedLen(const wchar_t* text) const;
    // Counts the bytes as posted and puts them into the write buffer.
    void _WritePost(const void* bytes, uint32_t count, bool counted);
    // Hands the write buffer to the platform (when full, at the end of the body).
    void _FlushPost();
    // The next write's size from the rate of the writes so far.
    void _SizeNextWrite(uint32_t bytes, std::chrono::steady_clock::duration took);
    // The bounds of a blocking call starting now; `answer` is the whole answer's due time.
    HttpCallBounds Bounds(HttpCallRunner::Clock::time_point answer = HttpCallRunner::Clock::time_point::max()) const;
    HttpCallRunner::Clock::time_point AnswerDue() const;
    void _WriteText(const std::string& text) { _WritePost(text.data(), SafeLenOf(text), false); }
    std::unique_ptr<CHttpResponseT> _ProceedUploadContext();
    // The texts of the multipart body, in the client's encoding; StartUpload counts the body's
    // length from the same texts the steps write. A part is its head, its data and kPartEnd.
    std::string TextPartHead(const wchar_t* name) const;
    std::string FilePartHead(const wchar_t* name, const wchar_t* path, const char* mime) const;
    std::string ClosingLine() const;
    std::string EmptyBody() const;  // a body without parameters
    static constexpr const char* kPartEnd = "\r\n";
    // Releases the upload context; with `toResponse` its handles go to a new response.
    std::unique_ptr<CHttpResponseT> _ReleasePostResponse(bool toResponse,
                                                         HttpCallRunner::Clock::time_point answerDue = HttpCallRunner::Clock::time_point::max());
    static uint32_t SafeLenOf(const std::string& s);

    std::wstring m_boundary;
    std::string m_boundaryNarrow;
    std::wstring m_contentType;
    bool m_useUtf8 = false;
    unsigned m_codePage = 0;
    CHttpClientMapT m_headers;
    CHttpClientMapT m_params;
    std::wstring m_userAgent;
    bool m_hasUserAgent = false;
    uint32_t m_accessType = 0;
    std::wstring m_proxy, m_bypass;
    bool m_hasProxy = false, m_hasBypass = false;
    uint32_t m_internetFlags = 0;
    uint32_t m_connectMs = 0, m_sendMs = 0, m_receiveMs = 0;
    uint32_t m_answerDeadlineMs = kAnswerDeadlineMs;
    uint32_t m_stallMs = kStallMs;
    bool m_writesOnRunner = false;
    bool m_answerWasSlow = false;

    CHttpPostStatT m_startSnapshot;
    CHttpPostStatT m_progress;
    std::vector<UniqueHttpFile> m_files;
    // Parameter names and identities of m_files, in their order; kept after the upload.
    std::vector<std::pair<std::wstring, FileIdentity>> m_sentIdentities;
    std::vector<std::unique_ptr<char[]>> m_mimeTypes;
    std::string m_currentValue;
    std::shared_ptr<HttpRequestHandles> m_handles;  // those of the running upload
    std::unique_ptr<char[]> m_readBuffer;
    uint32_t m_readPos = 0, m_readLen = 0;  // the file bytes in m_readBuffer not yet sent
    // Allocated by StartUpload; shared with a write given up on the runner, which may outlive
    // the upload.
    std::shared_ptr<char[]> m_writeBuffer;
    uint32_t m_writeUsed = 0;
    uint32_t m_writeSize = kWriteBufferSize;  // the bytes gathered before a write (adapts)
    // The measured rate: bytes written and the time they took, weighted down by their age so
    // that a line that changes speed is followed within a few seconds.
    double m_rateBytes = 0, m_rateSeconds = 0;
    std::chrono::steady_clock::time_point m_rateAt{};  // the end of the last write counted
    std::shared_ptr<HttpAbortGate> m_gate = std::make_shared<HttpAbortGate>();
    // Runs the blocking calls of this client's requests (a response may outlive the client).
    std::shared_ptr<HttpCallRunner> m_runner = std::make_shared<HttpCallRunner>();
    // Shared with the upload's response, which reports its answer's wait to it.
    std::shared_ptr<HttpConnectionChoice> m_connections = std::make_shared<HttpConnectionChoice>();
};

}  // namespace zk
