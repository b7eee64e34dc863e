// Strict multipart/form-data parsing: the body must consist of exactly the parts and the
// closing boundary line, with nothing before, between or after them.
#pragma once
#include <string>
#include <vector>

namespace refsrv {

struct MultipartPart {
    std::string name;
    std::string filename;     // raw bytes as sent
    std::string contentType;  // file parts only
    bool isFile = false;
    std::string data;
    size_t size = 0;  // the data's length (a streaming parse may count bytes it does not keep)
};

// The boundary from a Content-Type header value, or empty.
std::string BoundaryFromContentType(const std::string& contentType);
// One part's head (the lines between its boundary line and the blank line) into `part`.
bool ParsePartHead(const std::string& head, MultipartPart& part, std::string& error);
bool ParseMultipart(const std::string& body, const std::string& boundary, std::vector<MultipartPart>& parts, std::string& error);

}  // namespace refsrv
