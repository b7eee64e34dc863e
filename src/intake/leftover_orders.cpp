// Order folders whose task is complete but which could not be emptied (folder-audit thread,
// registry lock held throughout). The upload loop marks such a folder "left over"; here it is
// either listed again (something in it can be sent: files that arrived after the listing, a
// file whose shortcut target came back) or set aside with one journalled reason until
// something in it changes. So an order holding only what can never be sent ends once, instead
// of being listed, "sent" and counted every second.
#include <algorithm>

#include "base/path.h"
#include "intake/folder_audit.h"

namespace zk {
namespace {

bool AnyExists(const std::vector<std::wstring>& paths) {
    return std::any_of(paths.begin(), paths.end(), [](const std::wstring& p) { return PathExists(p); });
}

}  // namespace

void CVelmoFolderAudit::RetryDeletions(const std::wstring& folder) {
    for (const std::wstring& path : m_registry.Ledger().UndeletedIn(folder)) DeleteAlreadyDone(path);
}

void CVelmoFolderAudit::DeleteAlreadyDone(const std::wstring& path) {
    if (m_registry.DeleteUndeleted(path) == CZKRBTree::Dealt::Deleted) Announce(kEventFileDeleted, path, L"");
}

bool CVelmoFolderAudit::ShouldList(const std::wstring& folder, const COrderLedger::FolderRecord& record) {
    COrderLedger& ledger = m_registry.Ledger();
    const COrderLedger::Mark mark = record.mark;
    RetryDeletions(folder);
    std::vector<DirEntry> entries;
    if (ListFolder(folder, L"*.*", entries) == ListResult::Failed) {
        if (!PathExists(folder)) ledger.ForgetFolder(folder);
        return false;
    }
    std::wstring signature = ListingSignature(entries);
    if (mark == COrderLedger::Mark::SetAside && signature == record.signature && !AnyExists(record.watch)) return false;

    bool sendable = false;
    std::vector<std::wstring> reasons, watch;
    for (const DirEntry& e : entries) {
        const Entry entry = Classify(folder + e.name, e);
        switch (entry.kind) {
            case EntryKind::Send: sendable = true; break;
            case EntryKind::LeftoverChunk: break;  // its source is in the folder too
            case EntryKind::Subfolder: reasons.push_back(L"вложенная папка \"" + e.name + L"\""); break;
            case EntryKind::AlreadyDone: reasons.push_back(L"файл \"" + e.name + L"\" уже отправлен, но не удаляется"); break;
            case EntryKind::DeadShortcut:
                reasons.push_back(L"ярлык \"" + e.name + L"\" ведёт к отсутствующему файлу " + entry.link.target);
                watch.push_back(entry.link.target);
                break;
        }
    }
    // Something to send, or an emptied folder once set aside: listed as an order again (the
    // upload loop removes an empty one).
    if (sendable || (reasons.empty() && mark == COrderLedger::Mark::SetAside)) {
        ledger.ForgetFolder(folder);
        return true;
    }
    std::wstring reason = L"Папка заказа не удалена, в ней остаётся: ";
    if (reasons.empty()) reason = L"Папку заказа не удаётся удалить";
    for (size_t i = 0; i < reasons.size(); ++i) reason += (i ? L"; " : L"") + reasons[i];
    const bool news = mark == COrderLedger::Mark::LeftOver || reason != record.reason;
    ledger.SetAside(folder, {COrderLedger::Mark::SetAside, std::move(signature), reason, std::move(watch)});
    if (news) Announce(kEventOrderSetAside, folder, reason);
    return false;
}

}  // namespace zk
