// The reference service: plays the authentication server and the upload server of the wire
// protocol on one loopback port, stores what it receives, and injects faults on request.
//   GET  <authPath>?QHU=..&QHP=..&QHV=..   -> identifiers, endpoints and PARAMs (windows-1251 text/xml)
//                                             or an ERROR element for refused credentials
//   GET  <uploadPath> with Basic authorization -> "OK" (the endpoint check)
//   POST <uploadPath>?&fn=<path>, multipart DESCRIPTOR + IMAGE -> "OK", or "ERROR: <reason>"
//   GET  /moved                             -> "OK" (where a Redirect fault points)
//   GET  /_control/...                      -> state and fault switches for the stand-alone server
//                                             (fault, faults, clear, param, received, style, endpoint)
//   e.g. /_control/fault?target=upload&kind=toolarge&limit=1048576 (kinds: status error cut delay hang
//   throttle refuse redirect trickle longtail toolarge tricklehead stall; status text cut ms rate tail
//   limit count)
// Threads: every request runs on its connection's thread; m_mutex guards faults, parameters,
// credentials, counters and the received list.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "refserver/http_server.h"

namespace refsrv {

struct ServiceConfig {
    std::wstring user = L"loader";
    std::wstring password = L"malvoro";
    std::string uid = "17";
    std::string aid = "42";
    std::string httpLogin = "uploader";
    std::string httpPassword = "s3cret";
    std::string authPath = "/ru/99";
    std::string uploadPath = "/upload";
    std::wstring storageRoot;  // received files are written under it when set, listed in received.tsv
    bool keepData = true;      // keep every received file's bytes in memory (Received())
    // Behave as a plain HTTP/1.1 server (ServerStyle::Plain); with keepData off, upload bodies
    // are parsed as they arrive and never held whole.
    bool plain = false;
};

enum class FaultTarget { Auth, Check, Upload, Any };
enum class FaultKind {
    Status,     // answer with `status` and `text` as status text
    ErrorText,  // uploads: answer 200 with `text` instead of "OK" (after `delayMs`)
    Cut,        // reset the connection after `cutAfter` body bytes
    Delay,      // answer normally after `delayMs`
    RefuseCredentials,  // authentication answers an ERROR element with `text`
    Hang,       // read the whole request, store nothing, answer nothing for `delayMs`, then reset
    Throttle,   // read the body at no more than `bytesPerSecond` (a slow network), then as usual
    Redirect,   // answer `status` (302 unless a 3xx is given) with a Location of kMovedPath; store nothing
    Trickle,    // answer 200 with `text` as the body, one byte every `delayMs`; store nothing
    LongTail,   // handle as usual; an "OK" answer goes on with `tailBytes` more bytes
    TooLarge,   // a body over `limit` bytes: 413 as soon as the head is in (the body is then read and
                // dropped, as nginx's client_max_body_size does); smaller ones as usual
    TrickleHead,  // read the request, store nothing, answer `text` with the head and body a byte
                  // every `delayMs`
    Stall,      // after `cutAfter` body bytes the connection goes silent for `delayMs` (600 s unless
                // given): no read, no answer, no reset
};

// A path whose GET answers "OK" (the target of Redirect).
inline constexpr const char* kMovedPath = "/moved";

struct FaultRule {
    FaultTarget target = FaultTarget::Any;
    FaultKind kind = FaultKind::Status;
    int status = 500;
    std::string text = "Internal Server Error";
    long cutAfter = 0;
    int delayMs = 0;
    long bytesPerSecond = 0;
    long tailBytes = 0;
    long limit = 0;
    int remaining = -1;  // requests it applies to; -1 for all until cleared
};

struct ReceivedFile {
    int seq = 0;
    std::wstring fn;            // the "fn" query value, decoded from windows-1251
    std::wstring partFileName;  // the IMAGE part's filename, decoded
    std::wstring descriptorName;
    std::string uid, aid;
    std::string data;           // the IMAGE bytes (empty unless the service keeps data)
    uint64_t size = 0;          // their count
    int64_t headTimeMs = 0;     // the upload's request head arrived (milliseconds since 1970)
    int64_t acceptedTimeMs = 0; // the upload was accepted
    std::wstring storedPath;
};

class RefService {
public:
    explicit RefService(ServiceConfig config = {});
    ~RefService();
    bool Start(uint16_t port = 0);
    void Stop();
    [[nodiscard]] uint16_t Port() const { return m_server.Port(); }
    [[nodiscard]] std::wstring AuthUrl() const;
    HttpServer& Server() { return m_server; }

    void AddFault(const FaultRule& rule);
    void ClearFaults();
    // PARAM elements added to every successful authentication answer.
    void SetParams(std::vector<std::pair<std::wstring, std::wstring>> params);
    void SetCredentials(std::wstring user, std::wstring password);
    // From the next request on: a plain HTTP/1.1 server or the service's own style (ServiceConfig::plain).
    void SetPlain(bool plain);
    // The port the authentication answer names for uploads (0: the service's own), e.g. that of a
    // proxy in front of it.
    void SetAdvertisedPort(uint16_t port);

    [[nodiscard]] std::vector<ReceivedFile> Received() const;
    [[nodiscard]] int AuthCount() const;
    [[nodiscard]] int CheckCount() const;
    [[nodiscard]] int UploadAttempts() const;
    [[nodiscard]] int UploadsBegun() const;
    // Texts of rejections ("ERROR: ...") in order.
    [[nodiscard]] std::vector<std::string> Rejections() const;

    // Wire helpers, public for the tests.
    static std::string UrlDecode(const std::string& text);
    static std::string Base64(const std::string& bytes);
    static std::string QueryValue(const std::string& query, const std::string& key);

private:
    HttpResponse Handle(const HttpRequest& req, bool headOnly);
    HttpResponse HandleAuth(const HttpRequest& req);
    HttpResponse HandleCheck(const HttpRequest& req);
    HttpResponse HandleUpload(const HttpRequest& req);
    HttpResponse HandleControl(const HttpRequest& req);
    // The first matching rule (its count lowered), or false. `bodyLength`: the announced body's.
    bool TakeFault(FaultTarget target, FaultRule& out, bool headOnly, uint64_t bodyLength = 0);
    std::string Reject(const std::string& reason);

    ServiceConfig m_config;
    HttpServer m_server;
    mutable std::mutex m_mutex;
    std::vector<FaultRule> m_faults;
    std::vector<std::pair<std::wstring, std::wstring>> m_params;
    std::vector<ReceivedFile> m_received;
    std::vector<std::string> m_rejections;
    std::mutex m_storeMutex;  // one upload stored at a time (guards m_stored and the store)
    long long m_stored = 0;   // files in the store, across restarts
    int m_auth = 0, m_check = 0, m_uploads = 0;
    int m_uploadHeads = 0;  // upload requests whose head has arrived (the body may still be coming)
    uint16_t m_advertisedPort = 0;
};

}  // namespace refsrv
