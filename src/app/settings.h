// Configuration: defaults from string resources, the registry over them, the rows of the
// statistics panel holding the effective texts, and the numbers derived for the workers.
// Every accepted change goes through one settings writer, which checks, normalises, applies
// and stores all nine values.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "app/settings_store.h"
#include "panel/stat_rows.h"
#include "tasks/locked_list.h"

namespace zk {

// "да" or "нет" (also 1/0, true/false, yes/no, on/off, in any case, spaces around them), else
// nothing.
std::optional<bool> YesNoFrom(const std::wstring& text);
// A count: not empty, decimal digits only, no sign, no spaces, fitting 32 bits.
bool ParseCount(std::wstring_view text, uint32_t& value);
// Trailing separators removed, ".UPLOAD" appended unless the text's first ".UPLOAD" ends it.
std::wstring NormalizeAuditFolder(std::wstring folder);
// An authentication interval of 1-600 minutes, anything else 60.
int AuthIntervalFrom(const std::wstring& text);
// Megabytes of the largest file: a count below 2048 (larger ones overflow the byte count),
// anything else 10.
uint32_t ChunkMegabytesFrom(const std::wstring& text);
inline constexpr uint32_t kMaxChunkMegabytes = 2047;

struct ExtensionFlags {
    bool acceptAll = false;     // "*" (from "*.*")
    bool contentLists = false;  // "lst"
    bool journals = false;      // "log"
};
// Rebuilds `list` (under its lock) from a file-types text such as "*.kzo,*.wrx;*.jpg".
ExtensionFlags BuildExtensionList(const std::wstring& fileTypes, CZKLockedList& list);
// The drop intake's filter: every name when `acceptAll`, else the text after the last dot,
// trimmed and lowered, must equal (ignoring case) an entry of the list.
bool ExtensionAccepted(const std::wstring& fileName, CZKLockedList& list, bool acceptAll);

// Defaults that come from string resources and the module folder.
struct SettingsDefaults {
    std::wstring authUrl, userName, password, fileTypes, chunkSize, authTimeout;
    std::wstring moduleFolder;
};

// Where accepted changes are applied (the folder audit, the splitter, the session).
class ISettingsTargets {
public:
    virtual ~ISettingsTargets() = default;
    virtual void AuditFolderChanged(const std::wstring& folder) = 0;
    virtual void ContentListFlagChanged(bool on) = 0;
    virtual void ChunkSizeChanged(uint64_t bytes) = 0;
    // The caller of the session's setters also asks it to authenticate again.
    virtual void CredentialsChanged(const std::wstring& url, const std::wstring& user, const std::wstring& password) = 0;
};

class CSettings {
public:
    CSettings(CStatRows& rows, ISettingsStore& store) : m_rows(rows), m_store(store) {}

    // Start-up: defaults into the rows, the default audit folder created, the store read over
    // them (missing values written back), folders normalised, numbers and the list derived.
    void Load(const SettingsDefaults& defaults);
    // The settings writer for a value pushed by the server. An empty value names nothing and is
    // ignored (false), so that a stale editor text can never take its place. False also when
    // the value is refused (the row keeps its value, nothing is stored).
    bool Write(CZKListEntry& row, std::wstring text);
    // A setting pushed by the server: the row of that key (ignoring case), if any.
    bool WriteByKey(const std::wstring& key, const std::wstring& text);
    // The in-place editor's commit: its text trimmed of spaces at both ends (possibly empty),
    // through the same checks. A refusal is shown in the last-error row, in words the user can
    // act on; an accepted edit takes such a message away again.
    bool CommitEdit(CZKListEntry& row, const std::wstring& editorText);

    void SetTargets(ISettingsTargets* targets) { m_targets = targets; }

    [[nodiscard]] int AuthInterval() const { return m_authInterval.load(); }
    [[nodiscard]] uint32_t ChunkMegabytes() const { return m_chunkMb.load(); }
    [[nodiscard]] uint64_t ChunkBytes() const { return static_cast<uint64_t>(m_chunkMb.load()) << 20; }
    // "UploadLimitKBps", read at start-up only and never written: 0 (absent, empty or not a
    // number) is no limit.
    [[nodiscard]] uint32_t UploadLimit() const { return m_uploadLimit; }
    [[nodiscard]] ExtensionFlags Flags() const;
    // "NotifyDone": a notification for every order sent (errors are always shown).
    [[nodiscard]] bool NotifyDone() const { return m_notifyDone.load(); }
    CZKLockedList& Extensions() { return m_extensions; }
    [[nodiscard]] const std::wstring& ModuleFolder() const { return m_moduleFolder; }

private:
    void ReadOrWriteAll(bool read);
    bool Apply(CZKListEntry& row, std::wstring text);
    [[nodiscard]] std::wstring RefusalText(const CZKListEntry& row) const;

    CStatRows& m_rows;
    ISettingsStore& m_store;
    ISettingsTargets* m_targets = nullptr;
    std::wstring m_moduleFolder;
    std::mutex m_writerMutex;  // one settings writer at a time (main thread and upload thread)
    std::atomic<int> m_authInterval{60};
    std::atomic<uint32_t> m_chunkMb{10};
    uint32_t m_uploadLimit = 0;  // set by Load before the workers start
    std::atomic<bool> m_acceptAll{false}, m_contentLists{false}, m_journals{false}, m_notifyDone{true};
    CZKLockedList m_extensions;
};

}  // namespace zk
