// The reference service's strict multipart parser and XML check on any body.
#include "fuzz_input.h"
#include "refserver/multipart.h"
#include "refserver/xml_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first byte picks the boundary's length, taken from the input.
    const size_t blen = 1 + data[0] % 60;
    if (size < 1 + blen) return 0;
    const std::string boundary = zk::fuzz::Bytes(data + 1, blen);
    const std::string body = zk::fuzz::Bytes(data + 1 + blen, size - 1 - blen);
    (void)refsrv::BoundaryFromContentType(body);
    std::vector<refsrv::MultipartPart> parts;
    std::string error;
    if (refsrv::ParseMultipart(body, boundary, parts, error)) {
        size_t total = 0;
        for (auto& part : parts) total += part.data.size();
        if (total > body.size()) __builtin_trap();
    }
    std::vector<refsrv::XmlElement> elements;
    (void)refsrv::CheckXml(body, elements, error);
    return 0;
}
