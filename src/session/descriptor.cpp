#include "session/descriptor.h"

#include <cstdint>
#include <limits>

#include "base/fsys.h"
#include "base/text_file.h"

namespace zk {

std::wstring XmlEscape(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        switch (c) {
            case L'&': out += L"&amp;"; break;
            case L'<': out += L"&lt;"; break;
            case L'>': out += L"&gt;"; break;
            case L'"': out += L"&quot;"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

std::wstring DescriptorText(const std::wstring& uid, const std::wstring& aid, const std::wstring& filePath, int64_t size) {
    return L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           L"<DESCRIPTOR for=\"\">\n"
           L"   <CLIENT id=\"" + XmlEscape(uid) + L"\"/>\n"
           L"   <ALBUM id=\"" + XmlEscape(aid) + L"\"/>\n"
           L"      <FILE name=\"" + XmlEscape(filePath) + L"\" size=\"" + std::to_wstring(size) + L"\" checksum=\"\">\n"
           L"         <TITLE>\n"
           L"         </TITLE>\n"
           L"      </FILE>\n"
           L"</DESCRIPTOR>\n";
}

bool WriteDescriptor(const std::wstring& uid, const std::wstring& aid, const std::wstring& filePath, std::wstring& descriptorPath) {
    descriptorPath.clear();
    if (!PathExists(filePath)) return false;
    const int64_t size = FileSizeOf(filePath);
    // The size attribute is a signed 32-bit number: larger files cannot be described.
    if (size < 0 || size > std::numeric_limits<int32_t>::max()) return false;
    const std::wstring temp = CreateUniqueTempFile(L"pic");
    if (temp.empty()) return false;
    const std::wstring text = DescriptorText(uid, aid, filePath, size);
    if (WriteUtf8TextFile(temp, text) != static_cast<long long>(text.size())) {
        (void)DeleteFileAt(temp);  // a temporary file: nothing is lost if it stays
        return false;
    }
    descriptorPath = temp;
    return true;
}

}  // namespace zk
