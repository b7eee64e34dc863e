#include "refserver/multipart.h"

namespace refsrv {

std::string BoundaryFromContentType(const std::string& contentType) {
    const std::string prefix = "multipart/form-data; boundary=";
    if (contentType.compare(0, prefix.size(), prefix) != 0) return {};
    return contentType.substr(prefix.size());
}

bool ParsePartHead(const std::string& head, MultipartPart& part, std::string& error) {
    const std::string disp = "Content-Disposition: form-data; name=\"";
    if (head.compare(0, disp.size(), disp) != 0) {
        error = "part without Content-Disposition: form-data";
        return false;
    }
    size_t q = head.find('"', disp.size());
    if (q == std::string::npos) {
        error = "unterminated name";
        return false;
    }
    part.name = head.substr(disp.size(), q - disp.size());
    std::string rest = head.substr(q + 1);
    const std::string fileAttr = "; filename=\"";
    if (rest.compare(0, fileAttr.size(), fileAttr) == 0) {
        // The file name runs to the quote that ends the disposition line.
        const size_t lineEnd = rest.find("\"\r\nContent-Type: ");
        if (lineEnd == std::string::npos) {
            error = "file part without Content-Type";
            return false;
        }
        part.isFile = true;
        part.filename = rest.substr(fileAttr.size(), lineEnd - fileAttr.size());
        part.contentType = rest.substr(lineEnd + 17);
        if (part.contentType.empty() || part.contentType.find("\r\n") != std::string::npos) {
            error = "bad Content-Type line";
            return false;
        }
    } else if (!rest.empty()) {
        error = "unexpected text after the part name";
        return false;
    }
    return true;
}

bool ParseMultipart(const std::string& body, const std::string& boundary, std::vector<MultipartPart>& parts, std::string& error) {
    parts.clear();
    const std::string dash = "--" + boundary;
    if (body == "\r\n" + dash + "--\r\n") return true;  // no parameters at all
    size_t pos = 0;
    if (body.compare(0, dash.size() + 2, dash + "\r\n") != 0) {
        error = "body does not start with the boundary line";
        return false;
    }
    pos = dash.size() + 2;
    for (;;) {
        const size_t headEnd = body.find("\r\n\r\n", pos);
        if (headEnd == std::string::npos) {
            error = "part header not terminated";
            return false;
        }
        MultipartPart part;
        if (!ParsePartHead(body.substr(pos, headEnd - pos), part, error)) return false;
        const size_t dataStart = headEnd + 4;
        const size_t next = body.find("\r\n" + dash, dataStart);
        if (next == std::string::npos) {
            error = "part data not followed by a boundary";
            return false;
        }
        part.data = body.substr(dataStart, next - dataStart);
        part.size = part.data.size();
        parts.push_back(std::move(part));
        pos = next + 2 + dash.size();
        if (body.compare(pos, 2, "\r\n") == 0) {
            pos += 2;
            continue;
        }
        if (body.compare(pos, 4, "--\r\n") == 0 && pos + 4 == body.size()) return true;
        error = "bad boundary line or bytes after the closing boundary";
        return false;
    }
}

}  // namespace refsrv
