#include "refserver/multipart_stream.h"

#include <algorithm>

namespace refsrv {
namespace {
constexpr size_t kHeadLimit = 64 * 1024;
}

MultipartStream::MultipartStream(const std::string& boundary, bool keepImage)
    : m_dash("--" + boundary), m_delimiter("\r\n--" + boundary), m_keepImage(keepImage) {}

void MultipartStream::Take(const char* bytes, size_t count) {
    if (m_state == State::Failed) return;
    if (m_state == State::Ended) {
        if (count > 0) Fail("bad boundary line or bytes after the closing boundary");
        return;
    }
    m_buf.append(bytes, count);
    Run();
}

void MultipartStream::Run() {
    for (;;) {
        bool more = false;
        switch (m_state) {
            case State::Start: more = StartLine(); break;
            case State::Head: more = Head(); break;
            case State::Data: more = Data(); break;
            case State::AfterDelimiter: more = AfterDelimiter(); break;
            case State::Closing: more = Closing(); break;
            case State::Ended:
                if (!m_buf.empty()) Fail("bad boundary line or bytes after the closing boundary");
                return;
            case State::Failed: return;
        }
        if (!more) return;
    }
}

void MultipartStream::Fail(const char* why) {
    m_state = State::Failed;
    m_error = why;
    m_buf.clear();
}

// The first boundary line, or the whole body of a request without parameters.
bool MultipartStream::StartLine() {
    const std::string first = m_dash + "\r\n";
    const std::string empty = "\r\n" + m_dash + "--\r\n";
    const size_t n = std::min(m_buf.size(), first.size());
    if (m_buf.compare(0, n, first, 0, n) == 0) {
        if (m_buf.size() < first.size()) return false;
        m_buf.erase(0, first.size());
        m_state = State::Head;
        return true;
    }
    const size_t e = std::min(m_buf.size(), empty.size());
    if (m_buf.compare(0, e, empty, 0, e) != 0) {
        Fail("body does not start with the boundary line");
        return false;
    }
    if (m_buf.size() < empty.size()) return false;
    m_buf.erase(0, empty.size());
    m_state = State::Ended;
    return true;
}

bool MultipartStream::Head() {
    const size_t end = m_buf.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (m_buf.size() > kHeadLimit) Fail("part header not terminated");
        return false;
    }
    MultipartPart part;
    if (!ParsePartHead(m_buf.substr(0, end), part, m_error)) {
        const std::string why = m_error;
        Fail(why.c_str());
        return false;
    }
    m_keepCurrent = part.name != "IMAGE" || m_keepImage;
    m_parts.push_back(std::move(part));
    m_buf.erase(0, end + 4);
    m_state = State::Data;
    return true;
}

void MultipartStream::AddData(const char* bytes, size_t count) {
    MultipartPart& part = m_parts.back();
    part.size += count;
    if (!m_keepCurrent) return;
    if (part.data.size() + count > kKeptPartLimit && part.name != "IMAGE") {
        Fail("a part other than IMAGE is too large");
        return;
    }
    part.data.append(bytes, count);
}

// Everything up to the next delimiter is data; the bytes that could be a delimiter's start stay.
bool MultipartStream::Data() {
    const size_t at = m_buf.find(m_delimiter);
    if (at == std::string::npos) {
        const size_t keep = std::min(m_buf.size(), m_delimiter.size() - 1);
        AddData(m_buf.data(), m_buf.size() - keep);
        if (m_state == State::Failed) return false;
        m_buf.erase(0, m_buf.size() - keep);
        return false;
    }
    AddData(m_buf.data(), at);
    if (m_state == State::Failed) return false;
    m_buf.erase(0, at + m_delimiter.size());
    m_state = State::AfterDelimiter;
    return true;
}

// CR LF: another part; "--": the closing line.
bool MultipartStream::AfterDelimiter() {
    if (m_buf.size() < 2) return false;
    if (m_buf.compare(0, 2, "\r\n") == 0) {
        m_state = State::Head;
    } else if (m_buf.compare(0, 2, "--") == 0) {
        m_state = State::Closing;
    } else {
        Fail("bad boundary line or bytes after the closing boundary");
        return false;
    }
    m_buf.erase(0, 2);
    return true;
}

bool MultipartStream::Closing() {
    if (m_buf.size() < 2) return false;
    if (m_buf.compare(0, 2, "\r\n") != 0) {
        Fail("bad boundary line or bytes after the closing boundary");
        return false;
    }
    m_buf.erase(0, 2);
    m_state = State::Ended;
    return true;
}

bool MultipartStream::Finish(std::string& error) const {
    switch (m_state) {
        case State::Ended: return true;
        case State::Failed: error = m_error; break;
        case State::Start: error = "body does not start with the boundary line"; break;
        case State::Head: error = "part header not terminated"; break;
        case State::Data: error = "part data not followed by a boundary"; break;
        case State::AfterDelimiter:
        case State::Closing: error = "bad boundary line or bytes after the closing boundary"; break;
    }
    return false;
}

}  // namespace refsrv
