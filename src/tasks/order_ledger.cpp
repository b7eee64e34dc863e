#include "tasks/order_ledger.h"

#include "base/path.h"

namespace zk {

const FileIdentity* COrderLedger::Undeleted(const std::wstring& path) const {
    const auto it = m_undeleted.find(path);
    return it == m_undeleted.end() ? nullptr : &it->second;
}

std::vector<std::wstring> COrderLedger::UndeletedIn(const std::wstring& folder) const {
    std::vector<std::wstring> paths;
    for (auto it = m_undeleted.lower_bound(folder); it != m_undeleted.end() && it->first.compare(0, folder.size(), folder) == 0; ++it)
        if (FolderPart(it->first) == folder) paths.push_back(it->first);
    return paths;
}

void COrderLedger::SetAside(const std::wstring& folder, FolderRecord record) {
    record.mark = Mark::SetAside;
    m_folders[folder] = std::move(record);
}

const COrderLedger::FolderRecord* COrderLedger::Find(const std::wstring& folder) const {
    const auto it = m_folders.find(folder);
    return it == m_folders.end() ? nullptr : &it->second;
}

}  // namespace zk
