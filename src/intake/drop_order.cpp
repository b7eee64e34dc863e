#include "intake/drop_order.h"

#include <chrono>
#include <cwchar>
#include <thread>

#include "base/fsys.h"
#include "base/path.h"

namespace zk {

std::wstring DropOrderName(int64_t seconds, uint32_t ticks) {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"%X", static_cast<unsigned>(static_cast<uint32_t>(static_cast<uint64_t>(seconds) + ticks)));
    return buf;
}

std::wstring UniqueShortcutPath(const std::wstring& folder, const std::wstring& fileName) {
    std::wstring path = JoinPath(folder, fileName + L".lnk");
    const size_t dot = fileName.rfind(L'.');
    const bool hasExtension = dot != std::wstring::npos && dot > 0;
    const std::wstring stem = hasExtension ? fileName.substr(0, dot) : fileName;
    const std::wstring extension = hasExtension ? fileName.substr(dot) : std::wstring();
    for (int n = 2; PathExists(path); ++n) path = JoinPath(folder, stem + L" (" + std::to_wstring(n) + L")" + extension + L".lnk");
    return path;
}

DropOrderResult BuildDropOrder(const std::wstring& auditFolder, const std::vector<std::wstring>& paths,
                               const std::function<bool(const std::wstring&)>& accept, const std::function<void()>& afterFile,
                               const IClock& clock, const ShortcutMaker& makeShortcut) {
    DropOrderResult r;
    std::wstring name;
    do {
        name = DropOrderName(clock.Now(), clock.TickCount());
        r.tempFolder = JoinPath(auditFolder, L"TMPUPLOAD_" + name);
    } while (PathExists(r.tempFolder));
    if (!CreateFolder(r.tempFolder)) return r;
    r.folderCreated = true;
    if (paths.empty()) return r;
    for (const std::wstring& path : paths) {
        if (accept(path)) {
            // A shortcut that cannot be made is reported: its file would never be sent.
            if (makeShortcut(path, UniqueShortcutPath(r.tempFolder, FileNamePart(path))) == kHrOk) ++r.accepted;
            else r.failed.push_back(path);
        }
        if (afterFile) afterFile();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (r.accepted == 0) {
        (void)RemoveFolder(r.tempFolder);  // an empty temporary folder left over is harmless
        return r;
    }
    const std::wstring final = JoinPath(auditFolder, name);
    if (RenamePath(r.tempFolder, final)) r.finalFolder = final;
    return r;
}

}  // namespace zk
