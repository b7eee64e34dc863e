#include "intake/chunk_name.h"

#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "tasks/digest.h"

namespace zk {

std::wstring ChunkFileName(const std::wstring& fileName, int64_t number, int64_t count) {
    return fileName + L"." + DigestHex(NameDigestOf(fileName)) + L".p" + std::to_wstring(number) + L"-" + std::to_wstring(count);
}

ChunkNameInfo ParseChunkName(const std::wstring& path) {
    ChunkNameInfo info;
    const size_t lastDot = path.rfind(L'.');
    if (lastDot == std::wstring::npos) return info;
    const std::wstring withoutPart = path.substr(0, lastDot);
    const size_t digestDot = withoutPart.rfind(L'.');
    if (digestDot == std::wstring::npos) return info;
    const std::wstring digestText = withoutPart.substr(digestDot + 1);
    const std::wstring sourcePath = withoutPart.substr(0, digestDot);
    const size_t sep = sourcePath.rfind(kPathSep);
    if (sep == std::wstring::npos) return info;
    const std::wstring baseName = sourcePath.substr(sep + 1);
    if (!EqualsNoCase(DigestHex(NameDigestOf(baseName)), digestText)) return info;
    info.isChunk = true;
    info.sourcePath = sourcePath;
    info.sourceExists = PathExists(sourcePath);
    return info;
}

}  // namespace zk
