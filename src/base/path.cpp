#include "base/path.h"

namespace zk {

std::wstring FileNamePart(std::wstring_view path) {
    const size_t p = path.rfind(kPathSep);
    return std::wstring(p == std::wstring_view::npos ? path : path.substr(p + 1));
}

std::wstring FolderName(std::wstring_view folder) {
    std::wstring path(folder);
    StripTrailingSeparators(path);
    return FileNamePart(path);
}

std::wstring FolderPart(std::wstring_view path) {
    const size_t p = path.rfind(kPathSep);
    return p == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, p + 1));
}

bool StripTrailingSeparators(std::wstring& path) {
    bool removed = false;
    while (!path.empty() && path.back() == kPathSep) {
        path.pop_back();
        removed = true;
    }
    return removed;
}

std::wstring JoinPath(std::wstring_view folder, std::wstring_view name) {
    std::wstring out(folder);
    if (out.empty() || out.back() != kPathSep) out.push_back(kPathSep);
    out.append(name);
    return out;
}

std::wstring WithTrailingSeparator(std::wstring_view folder) {
    std::wstring out(folder);
    if (out.empty() || out.back() != kPathSep) out.push_back(kPathSep);
    return out;
}

}  // namespace zk
