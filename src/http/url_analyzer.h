// Splits a URL text into scheme, host, port, path, query and fragment by positions, without
// copying or validating.
#pragma once
#include <cstdint>

namespace zk {

struct HttpUrlParts {
    uint32_t schemeStart = 0, schemeLen = 0;
    uint32_t hostStart = 0, hostLen = 0;
    uint32_t portStart = 0, portLen = 0;
    uint32_t pathStart = 0, pathLen = 0;
    uint32_t queryStart = 0, queryLen = 0;
    uint32_t fragmentStart = 0, fragmentLen = 0;
};

class CHttpUrlAnalyzerT {
public:
    // `codePage` is only validated (UTF-8 and UTF-7 are refused). Null or empty gives all zero.
    static HttpUrlParts Analyze(unsigned codePage, const wchar_t* url);
};

}  // namespace zk
