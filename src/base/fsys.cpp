#include "base/fsys.h"

#include <algorithm>

#include "base/utf16.h"

namespace fs = std::filesystem;

namespace zk {

bool PathExists(std::wstring_view path) {
    if (path.empty()) return false;
    std::error_code ec;
    return fs::exists(FsPath(path), ec);
}

bool IsFolder(std::wstring_view path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(FsPath(path), ec);
}

bool CreateFolder(std::wstring_view path) {
    if (path.empty()) return false;
    std::error_code ec;
    const fs::path p = FsPath(path);
    if (fs::create_directory(p, ec)) return true;
    return fs::is_directory(p, ec);
}

bool RemoveFolder(std::wstring_view path) {
    std::error_code ec;
    const fs::path p = FsPath(path);
    if (!fs::is_directory(p, ec)) return false;
    return fs::remove(p, ec) && !ec;
}

bool DeleteFileAt(std::wstring_view path) {
    std::error_code ec;
    const fs::path p = FsPath(path);
    if (fs::is_directory(p, ec)) return false;
    return fs::remove(p, ec) && !ec;
}

bool RenamePath(std::wstring_view from, std::wstring_view to) {
    std::error_code ec;
    const fs::path dst = FsPath(to);
    if (fs::exists(dst, ec)) return false;  // a move never replaces
    fs::rename(FsPath(from), dst, ec);
    return !ec;
}

bool CopyFileTo(std::wstring_view from, std::wstring_view to, bool overwrite) {
    std::error_code ec;
    const auto opt = overwrite ? fs::copy_options::overwrite_existing : fs::copy_options::none;
    return fs::copy_file(FsPath(from), FsPath(to), opt, ec) && !ec;
}

int64_t FileSizeOf(std::wstring_view path) {
    std::error_code ec;
    const auto n = fs::file_size(FsPath(path), ec);
    return ec ? -1 : static_cast<int64_t>(n);
}

bool WildcardMatch(std::wstring_view pattern, std::wstring_view name) {
    if (pattern == L"*.*" || pattern == L"*") return true;
    // Iterative match with backtracking on the last '*'.
    size_t p = 0, n = 0, star = std::wstring_view::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == L'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            mark = n;
        } else if (star != std::wstring_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

std::wstring ListingSignature(std::vector<DirEntry> entries) {
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    std::wstring s;
    for (const DirEntry& e : entries)
        s += e.name + (e.isFolder ? L"/" : L"|" + std::to_wstring(e.size) + L"|" + std::to_wstring(e.writeTime)) + L"\n";
    return s;
}

}  // namespace zk
