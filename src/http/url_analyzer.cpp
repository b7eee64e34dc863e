#include "http/url_analyzer.h"

#include <cwchar>

#include "base/codepage.h"
#include "http/http_errors.h"
#include "http/safe_int.h"

namespace zk {

HttpUrlParts CHttpUrlAnalyzerT::Analyze(unsigned codePage, const wchar_t* url) {
    if (codePage == kCodePageUtf8 || codePage == kCodePageUtf7)
        ThrowHttpPrecondition("CHttpUrlAnalyzerT::Analyze: CP_UTF8 and CP_UTF7 can not be used for the CodePage parameter.");
    HttpUrlParts r;
    if (!url || !*url) return r;
    const uint32_t len = SafeLen(std::wcslen(url));
    uint32_t i = 0;
    if (const wchar_t* sep = std::wcsstr(url, L"://")) {
        r.schemeLen = static_cast<uint32_t>(sep - url);
        i = r.schemeLen + 3;
        r.hostStart = i;
    }
    // Authority.
    if (url[i] == L'/') {
        r.portStart = i;
    } else {
        bool port = false;
        while (i < len && url[i] != L'/' && url[i] != L'?' && url[i] != L'#') {
            if (!port && url[i] == L':') {
                port = true;
                r.portStart = i + 1;
            } else if (port) {
                ++r.portLen;
            } else {
                ++r.hostLen;
            }
            ++i;
        }
        if (!port) r.portStart = i;
    }
    // Path and query.
    r.pathStart = i;
    if (url[i] == L'#') {
        r.queryStart = i;
    } else {
        bool query = false;
        while (i < len && url[i] != L'#') {
            if (!query && url[i] == L'?') {
                query = true;
                r.queryStart = i;
                ++r.queryLen;
            } else if (query) {
                ++r.queryLen;
            } else {
                ++r.pathLen;
            }
            ++i;
        }
        if (!query) r.queryStart = i;
    }
    r.fragmentStart = i;
    r.fragmentLen = len - i;
    return r;
}

}  // namespace zk
