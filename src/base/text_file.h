// UTF-8 text files as the agent writes them (content lists, descriptors): byte-order mark first,
// every "\n" written as CR LF.
#pragma once
#include <string>
#include <string_view>

namespace zk {

// The bytes of `text` in that form, BOM included.
std::string Utf8TextBytes(std::wstring_view text, bool withBom = true);

// Creates (truncating) `path` and writes the text. Gives the number of characters of `text`
// that reached the file: equal to text.size() on success, less on a short write, -1 when the
// file could not be created.
long long WriteUtf8TextFile(std::wstring_view path, std::wstring_view text);

}  // namespace zk
