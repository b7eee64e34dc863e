// What the registry remembers beyond its tasks, for this run:
//  - files already dealt with whose deletion failed: accepted by the server, or cut into chunks
//    that took their place. They are never sent again while they are the version dealt with
//    (size, write time and file id), and their deletion is tried again later;
//  - order folders whose task is complete but which could not be emptied: marked "left over"
//    by the upload loop for the folder audit to look at, then "set aside" with a reason until
//    something in them changes.
// Guarded by the registry's lock (every caller holds it).
#pragma once
#include <map>
#include <string>
#include <vector>

#include "base/file_identity.h"

namespace zk {

class COrderLedger {
public:
    // ---- files ----
    void RecordUndeleted(const std::wstring& path, const FileIdentity& version) { m_undeleted[path] = version; }
    // The version recorded for `path`, or null.
    [[nodiscard]] const FileIdentity* Undeleted(const std::wstring& path) const;
    void ForgetUndeleted(const std::wstring& path) { m_undeleted.erase(path); }
    // Recorded files directly in `folder` (a path ending with a separator).
    [[nodiscard]] std::vector<std::wstring> UndeletedIn(const std::wstring& folder) const;

    // ---- order folders (paths ending with a separator, as task names) ----
    enum class Mark { None, LeftOver, SetAside };
    struct FolderRecord {
        Mark mark = Mark::None;
        std::wstring signature;           // what the folder held when it was set aside
        std::wstring reason;              // why it cannot be emptied
        std::vector<std::wstring> watch;  // missing shortcut targets whose return is a change
    };
    void MarkLeftOver(const std::wstring& folder) { m_folders[folder] = FolderRecord{Mark::LeftOver, {}, {}, {}}; }
    void SetAside(const std::wstring& folder, FolderRecord record);
    [[nodiscard]] const FolderRecord* Find(const std::wstring& folder) const;
    void ForgetFolder(const std::wstring& folder) { m_folders.erase(folder); }
    [[nodiscard]] size_t FolderCount() const { return m_folders.size(); }

private:
    std::map<std::wstring, FileIdentity> m_undeleted;
    std::map<std::wstring, FolderRecord> m_folders;
};

}  // namespace zk
