// The tray menu's folder items: the journals' and the orders' folder opened in Explorer, and
// the last-error row told (with the balloon shown on a page that has it) when that cannot be.
// Thread: the main thread.
#include <windows.h>
#include <shellapi.h>

#include "base/fsys.h"
#include "ui/zk_window_win.h"

namespace zk {

bool CSystemFolderShell::OpenFolder(HWND owner, const std::wstring& folder) {
    // Values above 32 are success; the rest are error codes dressed as an instance handle.
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(owner, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

void CZKWindow::OnFolderChosen(FolderItem item) {
    const std::wstring folder = m_agent->FolderOf(item);
    CStatRows& rows = m_agent->Rows();
    if (IsFolder(folder) && m_folderShell->OpenFolder(m_tray->Handle(), folder)) {
        rows.ClearNotice();
        InvalidateTable();
        return;
    }
    rows.ShowNotice(IsFolder(folder) ? FolderNotOpenedText(item, folder) : FolderMissingText(item, folder));
    // The user asked for something and got no window: the message must be seen, preferably
    // beside the folder's own row, where it can be put right.
    const std::wstring folderKey = item == FolderItem::kJournals ? rows.logsPath.key : rows.auditPath.key;
    int page = rows.PageWith({folderKey, rows.lastError.key});
    if (page == 0) page = rows.PageWith({rows.lastError.key});
    OnPageChosen(page);
}

}  // namespace zk
