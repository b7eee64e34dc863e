#include "refserver/ref_service.h"

#include <cctype>
#include <cstdio>
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "base/codepage.h"
#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "refserver/multipart.h"
#include "refserver/multipart_stream.h"
#include "refserver/xml_check.h"

namespace refsrv {
namespace {

std::string To1251(const std::wstring& w) {
    std::string out;
    (void)zk::WideToCodePage(zk::kCodePage1251, w, out);
    return out;
}

std::wstring From1251(const std::string& s) {
    std::wstring out;
    (void)zk::CodePageToWide(zk::kCodePage1251, s, out);
    return out;
}

HttpResponse Text(int status, const std::string& statusText, const std::string& body,
                  const std::string& type = "text/plain; charset=windows-1251") {
    HttpResponse r;
    r.status = status;
    r.statusText = statusText;
    r.headers = {{"Server", "refserver/1.0"}, {"Content-Type", type}};
    r.body = body;
    return r;
}

std::string XmlAttr(const std::string& v) {
    std::string out;
    for (char c : v) {
        if (c == '"') out += "&quot;";
        else if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else out.push_back(c);
    }
    return out;
}

std::string ReadWhole(const std::wstring& path) {
    std::string out;
    zk::UniqueStream f(zk::OpenStream(path, L"rb"));
    if (!f) return out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) out.append(buf, n);
    return out;
}

// An attribute's value, or null when the element lacks it.
const std::string* Attribute(const XmlElement& e, const std::string& name) {
    const auto it = e.attributes.find(name);
    return it == e.attributes.end() ? nullptr : &it->second;
}

// A decimal control value; `fallback` when absent or not a number.
long Number(const std::string& text, long fallback) {
    if (text.empty()) return fallback;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    return end && *end == '\0' ? v : fallback;
}

// The client names the file after its URL's query: the upload path, "?" unless the path
// already has one, then "&fn=" and the path URL-encoded (letters, digits, "+" and %XX only).
bool FnQueryWellFormed(const std::string& target, const std::string& uploadPath) {
    const std::string prefix = uploadPath + (uploadPath.find('?') == std::string::npos ? "?" : "") + "&fn=";
    if (target.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string value = target.substr(prefix.size());
    if (value.empty()) return false;
    for (size_t i = 0; i < value.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        if (std::isalnum(c) || c == '+') continue;
        if (c == '%' && i + 2 < value.size() && std::isxdigit(static_cast<unsigned char>(value[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(value[i + 2]))) {
            i += 2;
            continue;
        }
        return false;
    }
    return true;
}

}  // namespace

RefService::RefService(ServiceConfig config) : m_config(std::move(config)) {}
RefService::~RefService() { Stop(); }

bool RefService::Start(uint16_t port) {
    // A service restarted on the same store numbers its files on from the last one.
    if (!m_config.storageRoot.empty()) {
        const std::string list = ReadWhole(zk::JoinPath(m_config.storageRoot, L"received.tsv"));
        m_stored = static_cast<long long>(std::count(list.begin(), list.end(), '\n'));
    }
    m_server.SetRecording(m_config.keepData);
    m_server.SetStyle(m_config.plain ? ServerStyle::Plain : ServerStyle::Reference);
    return m_server.Start([this](const HttpRequest& r, bool headOnly) { return Handle(r, headOnly); }, port);
}

void RefService::Stop() { m_server.Stop(); }

std::wstring RefService::AuthUrl() const {
    return L"http://127.0.0.1:" + std::to_wstring(m_server.Port()) + zk::FromUtf8(m_config.authPath);
}

void RefService::AddFault(const FaultRule& rule) {
    std::lock_guard lock(m_mutex);
    m_faults.push_back(rule);
}

void RefService::ClearFaults() {
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

void RefService::SetParams(std::vector<std::pair<std::wstring, std::wstring>> params) {
    std::lock_guard lock(m_mutex);
    m_params = std::move(params);
}

void RefService::SetPlain(bool plain) {
    {
        std::lock_guard lock(m_mutex);
        m_config.plain = plain;
    }
    m_server.SetStyle(plain ? ServerStyle::Plain : ServerStyle::Reference);
}

void RefService::SetAdvertisedPort(uint16_t port) {
    std::lock_guard lock(m_mutex);
    m_advertisedPort = port;
}

void RefService::SetCredentials(std::wstring user, std::wstring password) {
    std::lock_guard lock(m_mutex);
    m_config.user = std::move(user);
    m_config.password = std::move(password);
}

std::vector<ReceivedFile> RefService::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}
int RefService::AuthCount() const {
    std::lock_guard lock(m_mutex);
    return m_auth;
}
int RefService::CheckCount() const {
    std::lock_guard lock(m_mutex);
    return m_check;
}
int RefService::UploadAttempts() const {
    std::lock_guard lock(m_mutex);
    return m_uploads;
}
int RefService::UploadsBegun() const {
    std::lock_guard lock(m_mutex);
    return m_uploadHeads;
}
std::vector<std::string> RefService::Rejections() const {
    std::lock_guard lock(m_mutex);
    return m_rejections;
}

std::string RefService::UrlDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out.push_back(' ');
        } else if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out.push_back(static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string RefService::Base64(const std::string& bytes) {
    static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        out += {a[v >> 18], a[(v >> 12) & 63], a[(v >> 6) & 63], a[v & 63]};
    }
    if (i + 1 == bytes.size()) {
        const uint32_t v = uint8_t(bytes[i]) << 16;
        out += {a[v >> 18], a[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        const uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
        out += {a[v >> 18], a[(v >> 12) & 63], a[(v >> 6) & 63], '='};
    }
    return out;
}

std::string RefService::QueryValue(const std::string& query, const std::string& key) {
    size_t pos = 0;
    while (pos <= query.size()) {
        size_t amp = query.find('&', pos);
        if (amp == std::string::npos) amp = query.size();
        const std::string pair = query.substr(pos, amp - pos);
        const size_t eq = pair.find('=');
        if (eq != std::string::npos && pair.substr(0, eq) == key) return pair.substr(eq + 1);
        pos = amp + 1;
    }
    return {};
}

bool RefService::TakeFault(FaultTarget target, FaultRule& out, bool headOnly, uint64_t bodyLength) {
    std::lock_guard lock(m_mutex);
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->target != target && it->target != FaultTarget::Any) continue;
        // Cuts are decided when the head arrives, everything else with the whole request.
        if (headOnly != (it->kind == FaultKind::Cut || it->kind == FaultKind::Throttle || it->kind == FaultKind::TooLarge ||
                         it->kind == FaultKind::Stall))
            continue;
        // A body within the limit goes as usual (and does not use the rule up).
        if (it->kind == FaultKind::TooLarge && bodyLength <= static_cast<uint64_t>(std::max(0L, it->limit))) continue;
        out = *it;
        if (it->remaining > 0 && --it->remaining == 0) m_faults.erase(it);
        return true;
    }
    return false;
}

HttpResponse RefService::Handle(const HttpRequest& req, bool headOnly) {
    const std::string path = req.Path();
    FaultTarget target = FaultTarget::Any;
    const std::string uploadPath = m_config.uploadPath.substr(0, m_config.uploadPath.find('?'));
    if (path == m_config.authPath && req.method == "GET") target = FaultTarget::Auth;
    else if (path == uploadPath && req.method == "GET") target = FaultTarget::Check;
    else if (path == uploadPath && req.method == "POST") target = FaultTarget::Upload;

    FaultRule fault;
    if (headOnly) {
        HttpResponse go;
        if (target == FaultTarget::Upload) {
            std::lock_guard lock(m_mutex);
            ++m_uploadHeads;
        }
        const std::string* length = req.Header("Content-Length");
        if (target != FaultTarget::Any && TakeFault(target, fault, true, length ? std::strtoull(length->c_str(), nullptr, 10) : 0)) {
            switch (fault.kind) {
                case FaultKind::Cut: go.cutAfterBodyBytes = fault.cutAfter; break;
                case FaultKind::Throttle: go.throttleBytesPerSecond = fault.bytesPerSecond; break;
                case FaultKind::Stall:
                    go.stallAfterBodyBytes = fault.cutAfter;
                    go.delayMs = fault.delayMs;
                    break;
                default: {  // TooLarge
                    go = Text(413, "Request Entity Too Large", "<html><body><h1>413 Request Entity Too Large</h1></body></html>",
                              "text/html");
                    go.answerBeforeBody = go.drainAfterAnswer = true;
                    return go;
                }
            }
        }
        bool plain;
        {
            std::lock_guard lock(m_mutex);
            plain = m_config.plain;
        }
        if (target == FaultTarget::Upload && plain && !m_config.keepData) {
            const std::string* type = req.Header("Content-Type");
            const std::string boundary = type ? BoundaryFromContentType(*type) : std::string();
            if (!boundary.empty()) go.sink = std::make_shared<MultipartStream>(boundary, !m_config.storageRoot.empty());
        }
        return go;
    }
    if (path.rfind("/_control/", 0) == 0) return HandleControl(req);
    if (target == FaultTarget::Any && path == kMovedPath && req.method == "GET") return Text(200, "OK", "OK");
    if (target == FaultTarget::Any) return Text(404, "Not Found", "no such resource");

    if (target == FaultTarget::Upload) {
        std::lock_guard lock(m_mutex);
        ++m_uploads;
    }
    int delay = 0;
    long tail = 0;
    if (TakeFault(target, fault, false)) {
        switch (fault.kind) {
            case FaultKind::Status: return Text(fault.status, fault.text, "fault injected");
            case FaultKind::ErrorText:
                if (target == FaultTarget::Upload) {
                    HttpResponse refusal = Text(200, "OK", fault.text);
                    refusal.delayMs = fault.delayMs;
                    return refusal;
                }
                break;
            case FaultKind::Delay: delay = fault.delayMs; break;
            case FaultKind::Hang: {
                HttpResponse silent;
                silent.delayMs = fault.delayMs > 0 ? fault.delayMs : 600000;
                silent.cutAfterBodyBytes = 0;  // after the wait: a reset, never an answer
                return silent;
            }
            case FaultKind::RefuseCredentials:
                if (target == FaultTarget::Auth) {
                    std::lock_guard lock(m_mutex);
                    ++m_auth;
                    return Text(200, "OK", "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<ERROR code=\"1\">" + fault.text + "</ERROR>\r\n",
                                "text/xml; charset=windows-1251");
                }
                break;
            case FaultKind::Redirect: {
                const int status = fault.status >= 300 && fault.status < 400 ? fault.status : 302;
                HttpResponse moved = Text(status, "Found", "moved");
                moved.headers.emplace_back("Location", "http://127.0.0.1:" + std::to_string(m_server.Port()) + kMovedPath);
                return moved;
            }
            case FaultKind::Trickle: {
                HttpResponse slow = Text(200, "OK", fault.text);
                slow.trickleMs = fault.delayMs > 0 ? fault.delayMs : 1000;
                return slow;
            }
            case FaultKind::TrickleHead: {
                HttpResponse slow = Text(200, "OK", fault.text);
                slow.trickleMs = fault.delayMs > 0 ? fault.delayMs : 1000;
                slow.trickleHead = true;
                return slow;
            }
            case FaultKind::LongTail: tail = fault.tailBytes; break;
            case FaultKind::Cut:
            case FaultKind::Throttle:
            case FaultKind::TooLarge:
            case FaultKind::Stall: break;
        }
    }
    HttpResponse r = target == FaultTarget::Auth ? HandleAuth(req) : target == FaultTarget::Check ? HandleCheck(req) : HandleUpload(req);
    r.delayMs = delay;
    // A tail of letters that is no part of any acceptance rule.
    if (tail > 0 && r.status == 200 && r.body == "OK") r.body.append(static_cast<size_t>(tail), 'x');
    return r;
}

HttpResponse RefService::HandleAuth(const HttpRequest& req) {
    const std::string q = req.Query();
    const std::string user = UrlDecode(QueryValue(q, "QHU"));
    const std::string pass = UrlDecode(QueryValue(q, "QHP"));
    std::lock_guard lock(m_mutex);
    ++m_auth;
    std::string body = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n";
    if (user != To1251(m_config.user) || pass != To1251(m_config.password)) {
        body += "<ERROR code=\"401\">" + To1251(L"\u041D\u0435\u0432\u0435\u0440\u043D\u043E\u0435 \u0438\u043C\u044F "
                                                L"\u043F\u043E\u043B\u044C\u0437\u043E\u0432\u0430\u0442\u0435\u043B\u044F "
                                                L"\u0438\u043B\u0438 \u043F\u0430\u0440\u043E\u043B\u044C") +
                "</ERROR>\r\n";
        return Text(200, "OK", body, "text/xml; charset=windows-1251");
    }
    const std::string port = std::to_string(m_advertisedPort ? m_advertisedPort : m_server.Port());
    body += "<ANSWER>\r\n<UID>" + m_config.uid + "</UID>\r\n<AID>" + m_config.aid + "</AID>\r\n";
    body += "<FTP host=\"127.0.0.1\" port=\"21\" login=\"ftp" + m_config.uid + "\" passwd=\"ftp-secret\"/>\r\n";
    body += "<HTTP host=\"127.0.0.1\" port=\"" + port + "\" path=\"" + m_config.uploadPath + "\" login=\"" + m_config.httpLogin +
            "\" passwd=\"" + m_config.httpPassword + "\"/>\r\n";
    for (auto& [name, value] : m_params)
        body += "<PARAM name=\"" + XmlAttr(To1251(name)) + "\"><![CDATA[" + To1251(value) + "]]></PARAM>\r\n";
    body += "</ANSWER>\r\n";
    return Text(200, "OK", body, "text/xml; charset=windows-1251");
}

HttpResponse RefService::HandleCheck(const HttpRequest& req) {
    std::lock_guard lock(m_mutex);
    ++m_check;
    const std::string* auth = req.Header("Authorization");
    if (!auth || *auth != "Basic " + Base64(m_config.httpLogin + ":" + m_config.httpPassword))
        return Text(401, "Unauthorized", "authorization required");
    return Text(200, "OK", "OK");
}

std::string RefService::Reject(const std::string& reason) {
    std::lock_guard lock(m_mutex);
    m_rejections.push_back("ERROR: " + reason);
    return m_rejections.back();
}

HttpResponse RefService::HandleUpload(const HttpRequest& req) {
    const std::string* auth = req.Header("Authorization");
    if (!auth || *auth != "Basic " + Base64(m_config.httpLogin + ":" + m_config.httpPassword))
        return Text(401, "Unauthorized", Reject("authorization required"));
    const std::string* type = req.Header("Content-Type");
    const std::string boundary = type ? BoundaryFromContentType(*type) : std::string();
    if (boundary.empty()) return Text(200, "OK", Reject("not multipart/form-data"));
    std::vector<MultipartPart> parts;
    std::string error;
    if (const auto* stream = dynamic_cast<const MultipartStream*>(req.sink.get())) {
        if (!stream->Finish(error)) return Text(200, "OK", Reject("multipart: " + error));
        parts = stream->Parts();
    } else if (!ParseMultipart(req.body, boundary, parts, error)) {
        return Text(200, "OK", Reject("multipart: " + error));
    }
    if (parts.size() != 2 || parts[0].name != "DESCRIPTOR" || parts[1].name != "IMAGE" || !parts[0].isFile || !parts[1].isFile)
        return Text(200, "OK", Reject("expected the file parts DESCRIPTOR and IMAGE"));
    const MultipartPart& desc = parts[0];
    const MultipartPart& image = parts[1];
    if (desc.data.compare(0, 3, "\xEF\xBB\xBF") != 0) return Text(200, "OK", Reject("descriptor without byte-order mark"));
    std::vector<XmlElement> elements;
    if (!CheckXml(desc.data.substr(3), elements, error)) return Text(200, "OK", Reject("descriptor is not well-formed: " + error));
    const XmlElement* client = nullptr;
    const XmlElement* album = nullptr;
    const XmlElement* file = nullptr;
    for (auto& e : elements) {
        if (e.name == "CLIENT" && !client) client = &e;
        if (e.name == "ALBUM" && !album) album = &e;
        if (e.name == "FILE" && !file) file = &e;
    }
    if (elements.empty() || elements[0].name != "DESCRIPTOR" || !client || !album || !file)
        return Text(200, "OK", Reject("descriptor lacks DESCRIPTOR, CLIENT, ALBUM or FILE"));
    const std::string* clientId = Attribute(*client, "id");
    const std::string* albumId = Attribute(*album, "id");
    if (!clientId || !albumId) return Text(200, "OK", Reject("descriptor lacks the id of CLIENT or ALBUM"));
    if (*clientId != m_config.uid || *albumId != m_config.aid) return Text(200, "OK", Reject("descriptor names another client or album"));
    const std::string* size = Attribute(*file, "size");
    if (!size || *size != std::to_string(image.size)) return Text(200, "OK", Reject("size attribute differs from the bytes received"));
    if (!FnQueryWellFormed(req.target, m_config.uploadPath))
        return Text(200, "OK", Reject("query is not the upload path, \"?\" unless it has one, \"&fn=\" and the encoded path"));
    const std::wstring fn = From1251(UrlDecode(QueryValue(req.Query(), "fn")));
    const std::wstring partName = From1251(image.filename);
    const std::string* name = Attribute(*file, "name");
    const std::wstring descName = zk::FromUtf8(name ? *name : std::string());
    if (fn.empty() || fn != partName || fn != descName) return Text(200, "OK", Reject("fn, file name and descriptor name differ"));

    ReceivedFile rec;
    rec.fn = fn;
    rec.partFileName = partName;
    rec.descriptorName = descName;
    rec.uid = m_config.uid;
    rec.aid = m_config.aid;
    rec.size = image.size;
    rec.headTimeMs = req.headTimeMs;
    if (m_config.keepData) rec.data = image.data;
    // One store at a time: numbers stay unique and the list follows the files.
    std::lock_guard store(m_storeMutex);
    {
        std::lock_guard lock(m_mutex);
        rec.seq = static_cast<int>(m_received.size()) + 1;
    }
    if (!m_config.storageRoot.empty()) {
        std::wstring folder = zk::JoinPath(m_config.storageRoot, zk::FromUtf8(rec.uid));
        (void)zk::CreateFolder(m_config.storageRoot);
        (void)zk::CreateFolder(folder);
        folder = zk::JoinPath(folder, zk::FromUtf8(rec.aid));
        (void)zk::CreateFolder(folder);
        // The client sends its own path; keep only the last component, whatever its separator.
        // The number goes on across restarts of a service storing into the same folder.
        std::wstring base = fn.substr(fn.find_last_of(L"\\/") == std::wstring::npos ? 0 : fn.find_last_of(L"\\/") + 1);
        const long long number = ++m_stored;
        rec.storedPath = zk::JoinPath(folder, std::to_wstring(number) + L"_" + base);
        zk::UniqueStream f(zk::OpenStream(rec.storedPath, L"wb"));
        if (!f || std::fwrite(image.data.data(), 1, image.data.size(), f.get()) != image.data.size() || std::fflush(f.get()) != 0)
            return Text(200, "OK", Reject("cannot store the file"));
        f.reset();
        // received.tsv: number, size, stored name, fn (UTF-8), one line per accepted file.
        zk::UniqueStream list(zk::OpenStream(zk::JoinPath(m_config.storageRoot, L"received.tsv"), L"ab"));
        const std::string line = std::to_string(number) + "\t" + std::to_string(rec.size) + "\t" +
                                 zk::ToUtf8(zk::FileNamePart(rec.storedPath)) + "\t" + zk::ToUtf8(fn) + "\n";
        if (!list || std::fwrite(line.data(), 1, line.size(), list.get()) != line.size() || std::fflush(list.get()) != 0)
            return Text(200, "OK", Reject("cannot store the file"));
    }
    rec.acceptedTimeMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    std::lock_guard lock(m_mutex);
    m_received.push_back(std::move(rec));
    return Text(200, "OK", "OK");
}

HttpResponse RefService::HandleControl(const HttpRequest& req) {
    const std::string path = req.Path();
    const std::string q = req.Query();
    if (path == "/_control/faults") {
        // The rules still waiting for requests, one line each: target, kind, requests left.
        std::string body;
        std::lock_guard lock(m_mutex);
        for (const FaultRule& r : m_faults)
            body += std::to_string(static_cast<int>(r.target)) + "\t" + std::to_string(static_cast<int>(r.kind)) + "\t" +
                    std::to_string(r.remaining) + "\n";
        return Text(200, "OK", body);
    }
    if (path == "/_control/clear") {
        ClearFaults();
        return Text(200, "OK", "OK");
    }
    if (path == "/_control/fault") {
        FaultRule r;
        const std::string t = QueryValue(q, "target"), k = QueryValue(q, "kind");
        r.target = t == "auth" ? FaultTarget::Auth : t == "check" ? FaultTarget::Check : t == "upload" ? FaultTarget::Upload : FaultTarget::Any;
        r.kind = k == "error" ? FaultKind::ErrorText : k == "cut" ? FaultKind::Cut : k == "delay" ? FaultKind::Delay : k == "hang" ? FaultKind::Hang : k == "throttle" ? FaultKind::Throttle
                 : k == "refuse" ? FaultKind::RefuseCredentials : k == "redirect" ? FaultKind::Redirect : k == "trickle" ? FaultKind::Trickle
                 : k == "longtail" ? FaultKind::LongTail : k == "toolarge" ? FaultKind::TooLarge : k == "tricklehead" ? FaultKind::TrickleHead
                 : k == "stall" ? FaultKind::Stall : FaultKind::Status;
        r.status = static_cast<int>(Number(QueryValue(q, "status"), r.status));
        if (!QueryValue(q, "text").empty()) r.text = UrlDecode(QueryValue(q, "text"));
        r.cutAfter = Number(QueryValue(q, "cut"), r.cutAfter);
        r.delayMs = static_cast<int>(Number(QueryValue(q, "ms"), r.delayMs));
        r.bytesPerSecond = Number(QueryValue(q, "rate"), r.bytesPerSecond);
        r.tailBytes = Number(QueryValue(q, "tail"), r.tailBytes);
        r.limit = Number(QueryValue(q, "limit"), r.limit);
        r.remaining = static_cast<int>(Number(QueryValue(q, "count"), r.remaining));
        AddFault(r);
        return Text(200, "OK", "OK");
    }
    if (path == "/_control/style") {
        SetPlain(QueryValue(q, "plain") == "1");
        m_server.SetSerial(QueryValue(q, "serial") == "1");
        return Text(200, "OK", "OK");
    }
    if (path == "/_control/endpoint") {
        const long port = Number(QueryValue(q, "port"), 0);
        SetAdvertisedPort(port > 0 && port <= 65535 ? static_cast<uint16_t>(port) : 0);
        return Text(200, "OK", "OK");
    }
    if (path == "/_control/param") {
        std::lock_guard lock(m_mutex);
        m_params.emplace_back(From1251(UrlDecode(QueryValue(q, "name"))), From1251(UrlDecode(QueryValue(q, "value"))));
        return Text(200, "OK", "OK");
    }
    if (path == "/_control/received") {
        // One line per accepted file: number, size, when its request head arrived and when it was
        // accepted (milliseconds since 1970), fn.
        std::string body;
        for (auto& r : Received()) {
            char line[128];
            std::snprintf(line, sizeof line, "%d\t%llu\t%lld\t%lld\t", r.seq, static_cast<unsigned long long>(r.size),
                          static_cast<long long>(r.headTimeMs), static_cast<long long>(r.acceptedTimeMs));
            body += line + zk::ToUtf8(r.fn) + "\n";
        }
        return Text(200, "OK", body, "text/plain; charset=utf-8");
    }
    return Text(404, "Not Found", "unknown control request");
}

}  // namespace refsrv
