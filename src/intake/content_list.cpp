#include "intake/content_list.h"

#include <ctime>
#include <vector>

#include "base/fsys.h"
#include "base/text_file.h"

namespace zk {

bool HasContentList(const std::wstring& taskPath) {
    std::vector<DirEntry> found;
    return ListFolder(taskPath, L"_content_*.lst", found) != ListResult::NoMatch;
}

std::wstring ContentListName(long long secondsSince1970) {
    const auto low = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(secondsSince1970) & 0xFFFFFFFFu));
    return L"_content_" + std::to_wstring(low) + L".lst";
}

ContentListResult WriteContentList(const std::wstring& taskPath, const std::wstring& listText, std::wstring& listPath) {
    listPath.clear();
    if (!PathExists(taskPath)) return kListNoFolder;
    if (HasContentList(taskPath)) return kListExists;
    const std::wstring path = taskPath + ContentListName(static_cast<long long>(std::time(nullptr)));
    const long long written = WriteUtf8TextFile(path, listText);
    if (written < 0 || static_cast<size_t>(written) != listText.size()) return kListFailed;
    listPath = path;
    return kListWritten;
}

}  // namespace zk
