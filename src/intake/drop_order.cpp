#include "intake/drop_order.h"

#include <chrono>
#include <cwchar>
#include <thread>

#include "base/fsys.h"
#include "base/path.h"
#include "intake/shortcut.h"

namespace zk {

std::wstring DropOrderName(int64_t seconds, uint32_t ticks) {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"%X", static_cast<unsigned>(static_cast<uint32_t>(static_cast<uint64_t>(seconds) + ticks)));
    return buf;
}

DropOrderResult BuildDropOrder(const std::wstring& auditFolder, const std::vector<std::wstring>& paths,
                               const std::function<bool(const std::wstring&)>& accept, const std::function<void()>& afterFile,
                               const IClock& clock) {
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
            // The result is not examined: the drop counts as having produced a shortcut.
            CreateShortcut(path, JoinPath(r.tempFolder, FileNamePart(path) + L".lnk"));
            ++r.accepted;
        }
        if (afterFile) afterFile();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (r.accepted == 0) {
        RemoveFolder(r.tempFolder);
        return r;
    }
    const std::wstring final = JoinPath(auditFolder, name);
    if (RenamePath(r.tempFolder, final)) r.finalFolder = final;
    return r;
}

}  // namespace zk
