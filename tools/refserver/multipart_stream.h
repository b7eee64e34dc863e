// Strict multipart/form-data parsing of a body as it arrives, for the lean plain-server mode: the
// same rules as ParseMultipart (exactly the parts and the closing boundary line, nothing before,
// between or after), without keeping the body. Each part's data is counted; it is kept only for
// parts other than IMAGE (up to a bound) and for IMAGE when asked.
// Threads: fed by one connection thread, then read by the same thread's handler.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "refserver/http_server.h"
#include "refserver/multipart.h"

namespace refsrv {

class MultipartStream : public BodySink {
public:
    // The data of a kept part beyond this is an error: only small parts are kept.
    static constexpr size_t kKeptPartLimit = 1 << 20;

    MultipartStream(const std::string& boundary, bool keepImage);
    void Take(const char* bytes, size_t count) override;
    // True when the body ended exactly with the closing boundary line; else `error` says why.
    [[nodiscard]] bool Finish(std::string& error) const;
    // The parts seen, each with its size; data as described above.
    [[nodiscard]] const std::vector<MultipartPart>& Parts() const { return m_parts; }

private:
    enum class State { Start, Head, Data, AfterDelimiter, Closing, Ended, Failed };
    void Run();
    bool StartLine();
    bool Head();
    bool Data();
    bool AfterDelimiter();
    bool Closing();
    void Fail(const char* why);
    void AddData(const char* bytes, size_t count);

    std::string m_dash;       // "--" boundary
    std::string m_delimiter;  // CR LF "--" boundary: ends every part's data
    bool m_keepImage;
    State m_state = State::Start;
    std::string m_buf;  // bytes taken but not yet consumed (a head, or a possible delimiter's start)
    std::vector<MultipartPart> m_parts;
    bool m_keepCurrent = false;
    std::string m_error;
};

}  // namespace refsrv
