// The URL analyser on any text: every part it reports lies inside the text, in order.
#include "fuzz_input.h"
#include "http/url_analyzer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring url = zk::fuzz::Wide(data, size);
    url = url.substr(0, url.find(L'\0'));
    const zk::HttpUrlParts p = zk::CHttpUrlAnalyzerT::Analyze(1251, url.c_str());
    const uint64_t n = url.size();
    const auto inside = [n](uint32_t start, uint32_t len) { return static_cast<uint64_t>(start) + len <= n; };
    if (!inside(p.schemeStart, p.schemeLen) || !inside(p.hostStart, p.hostLen) || !inside(p.portStart, p.portLen) ||
        !inside(p.pathStart, p.pathLen) || !inside(p.queryStart, p.queryLen) || !inside(p.fragmentStart, p.fragmentLen))
        __builtin_trap();
    return 0;
}
