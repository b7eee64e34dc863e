// The order descriptor sent with every file: nine lines of XML naming the client, the album,
// the file and its size, UTF-8 with byte-order mark and CR LF, in a fresh "pic" temporary file.
#pragma once
#include <cstdint>
#include <string>

namespace zk {

// &, <, > and " as entities, so that a path can never add attributes or elements. An
// apostrophe stays as it is: attribute values are in double quotes, and names such as
// "Mom's" keep their bytes.
std::wstring XmlEscape(const std::wstring& text);
// The nine lines with "\n" line ends (values escaped).
std::wstring DescriptorText(const std::wstring& uid, const std::wstring& aid, const std::wstring& filePath, int64_t size);
// Writes the descriptor of `filePath` into a new temporary file; false (and no file left) when
// the file is missing, larger than the descriptor's signed 32-bit size, or anything fails.
bool WriteDescriptor(const std::wstring& uid, const std::wstring& aid, const std::wstring& filePath, std::wstring& descriptorPath);

}  // namespace zk
