#include "base/text_file.h"

#include <cstdio>

#include "base/fsys.h"
#include "base/utf16.h"

namespace zk {

std::string Utf8TextBytes(std::wstring_view text, bool withBom) {
    std::wstring crlf;
    crlf.reserve(text.size() + text.size() / 16);
    for (wchar_t c : text) {
        if (c == L'\n') crlf.push_back(L'\r');
        crlf.push_back(c);
    }
    std::string out = withBom ? std::string("\xEF\xBB\xBF") : std::string();
    out += ToUtf8(crlf);
    return out;
}

long long WriteUtf8TextFile(std::wstring_view path, std::wstring_view text) {
    UniqueStream f(OpenStream(path, L"wb"));
    if (!f) return -1;
    // Written line by line so that a short write can be told in characters.
    const std::string bom = "\xEF\xBB\xBF";
    if (std::fwrite(bom.data(), 1, bom.size(), f.get()) != bom.size()) return 0;
    long long written = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        end = end == std::wstring_view::npos ? text.size() : end + 1;
        const std::wstring_view piece = text.substr(start, end - start);
        const std::string bytes = Utf8TextBytes(piece, false);
        if (std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) return written;
        written += static_cast<long long>(piece.size());
        start = end;
    }
    if (std::fflush(f.get()) != 0) return 0;
    return written;
}

}  // namespace zk
