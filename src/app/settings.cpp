#include "app/settings.h"

#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"

namespace zk {
namespace {

struct StoredValue {
    const wchar_t* name;
    CZKListEntry CStatRows::*row;
};

// In the order they are read and written.
const StoredValue kStored[] = {
    {L"AuthSrv", &CStatRows::authUrl},     {L"AuthInterval", &CStatRows::authTimeout}, {L"UserName", &CStatRows::userName},
    {L"Password", &CStatRows::userPasswd}, {L"LogsFolder", &CStatRows::logsPath},      {L"Exst", &CStatRows::fileTypes},
    {L"AuditFolder", &CStatRows::auditPath}, {L"ChunkSize", &CStatRows::uploadChunkSize},
    {L"NotifyDone", &CStatRows::notifyDone},
};
constexpr wchar_t kUploadLimitName[] = L"UploadLimitKBps";

std::wstring DefaultAuditFolder(const std::wstring& moduleFolder) { return moduleFolder + kPathSep + L"audit.UPLOAD"; }

std::wstring NormalizeLogsFolder(std::wstring folder, const std::wstring& moduleFolder) {
    if (folder.empty() || !PathExists(folder)) return moduleFolder;
    StripTrailingSeparators(folder);
    return folder;
}

}  // namespace

bool ParseCount(std::wstring_view text, uint32_t& value) {
    if (text.empty()) return false;
    uint64_t v = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        v = v * 10 + static_cast<uint64_t>(c - L'0');
        if (v > 0xFFFFFFFFull) return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

std::wstring NormalizeAuditFolder(std::wstring folder) {
    StripTrailingSeparators(folder);
    const size_t at = folder.find(L".UPLOAD");
    if (at == std::wstring::npos || at + 7 != folder.size()) folder += L".UPLOAD";
    return folder;
}

int AuthIntervalFrom(const std::wstring& text) {
    uint32_t v = 0;
    return ParseCount(text, v) && v >= 1 && v <= 600 ? static_cast<int>(v) : 60;
}

std::optional<bool> YesNoFrom(const std::wstring& text) {
    const std::wstring t = ToLower(TrimSpaces(text));
    for (const wchar_t* yes : {L"да", L"1", L"true", L"yes", L"on"})
        if (t == yes) return true;
    for (const wchar_t* no : {L"нет", L"0", L"false", L"no", L"off"})
        if (t == no) return false;
    return std::nullopt;
}

uint32_t ChunkMegabytesFrom(const std::wstring& text) {
    uint32_t v = 0;
    return ParseCount(text, v) && v <= kMaxChunkMegabytes ? v : 10;
}

ExtensionFlags BuildExtensionList(const std::wstring& fileTypes, CZKLockedList& list) {
    ExtensionFlags flags;
    std::lock_guard lock(list.Mutex());
    list.Empty();
    std::wstring rest = fileTypes;
    while (!rest.empty()) {
        const size_t sep = rest.find_first_of(L",;");
        std::wstring token;
        if (sep == std::wstring::npos || sep == 0) {
            token = rest;
            rest.clear();
        } else {
            token = rest.substr(0, sep);
            rest.erase(0, sep + 1);
        }
        const size_t dot = token.rfind(L'.');
        if (dot == std::wstring::npos) continue;
        const std::wstring ext = TrimSpaces(token.substr(dot + 1));
        if (ext == L"*") flags.acceptAll = true;
        list.Append(L"", ext, L"");
        if (EqualsNoCase(ext, L"lst")) flags.contentLists = true;
        if (EqualsNoCase(ext, L"log")) flags.journals = true;
        if (EqualsNoCase(ext, L"jpg")) list.Append(L"", L"jpeg", L"");
    }
    return flags;
}

bool ExtensionAccepted(const std::wstring& fileName, CZKLockedList& list, bool acceptAll) {
    if (acceptAll) return true;
    const size_t dot = fileName.rfind(L'.');
    if (dot == std::wstring::npos) return false;
    const std::wstring ext = ToLower(TrimSpaces(fileName.substr(dot + 1)));
    std::lock_guard lock(list.Mutex());
    for (CZKListEntry* e = list.First(); e; e = e->next)
        if (EqualsNoCase(e->value, ext)) return true;
    return false;
}

ExtensionFlags CSettings::Flags() const { return {m_acceptAll.load(), m_contentLists.load(), m_journals.load()}; }

void CSettings::ReadOrWriteAll(bool read) {
    if (!m_store.Open()) return;
    for (const StoredValue& v : kStored) {
        CZKListEntry& row = m_rows.*(v.row);
        std::optional<std::wstring> stored;
        if (read) stored = m_store.Read(v.name);
        if (stored) row.SetValue(*stored);
        else m_store.Write(v.name, row.Value());
    }
    if (read) {
        // An optional value of its own: absent stays absent.
        const std::optional<std::wstring> limit = m_store.Read(kUploadLimitName);
        uint32_t v = 0;
        m_uploadLimit = limit && ParseCount(TrimSpaces(*limit), v) ? v : 0;
    }
    m_store.Close();
}

void CSettings::Load(const SettingsDefaults& d) {
    m_rows.authUrl.SetValue(d.authUrl);
    m_rows.userName.SetValue(d.userName);
    m_rows.userPasswd.SetValue(d.password);
    m_rows.fileTypes.SetValue(d.fileTypes);
    m_rows.uploadChunkSize.SetValue(d.chunkSize);
    m_rows.authTimeout.SetValue(d.authTimeout);
    m_moduleFolder = d.moduleFolder;
    m_rows.logsPath.SetValue(m_moduleFolder);
    const std::wstring defaultAudit = DefaultAuditFolder(m_moduleFolder);
    m_rows.auditPath.SetValue(defaultAudit);
    // A default folder that cannot be made is reported by the audit, which cannot list it.
    (void)CreateFolder(defaultAudit);
    SetNormalAttributes(defaultAudit);

    ReadOrWriteAll(true);

    const std::wstring audit = m_rows.auditPath.Value();
    m_rows.auditPath.SetValue(audit.empty() ? DefaultAuditFolder(m_moduleFolder) : NormalizeAuditFolder(audit));
    m_rows.logsPath.SetValue(NormalizeLogsFolder(m_rows.logsPath.Value(), m_moduleFolder));
    m_authInterval = AuthIntervalFrom(m_rows.authTimeout.Value());
    m_chunkMb = ChunkMegabytesFrom(m_rows.uploadChunkSize.Value());
    const ExtensionFlags f = BuildExtensionList(m_rows.fileTypes.Value(), m_extensions);
    m_acceptAll = f.acceptAll;
    m_contentLists = f.contentLists;
    m_journals = f.journals;
    // Anything but a clear "no" keeps the notifications on, as they ship.
    const std::optional<bool> notify = YesNoFrom(m_rows.notifyDone.Value());
    m_notifyDone = notify.value_or(true);
    m_rows.notifyDone.SetValue(m_notifyDone.load() ? L"да" : L"нет");
}

bool CSettings::WriteByKey(const std::wstring& key, const std::wstring& text) {
    CZKListEntry* row = m_rows.FindByKey(key);
    return row ? Write(*row, text) : false;
}

bool CSettings::Write(CZKListEntry& row, std::wstring text) {
    if (text.empty()) return false;
    return Apply(row, std::move(text));
}

bool CSettings::CommitEdit(CZKListEntry& row, const std::wstring& editorText) {
    const bool accepted = Apply(row, TrimSpaces(editorText));
    if (accepted) m_rows.ClearNotice();
    else m_rows.ShowNotice(RefusalText(row));
    return accepted;
}

std::wstring CSettings::RefusalText(const CZKListEntry& row) const {
    if (&row == &m_rows.authTimeout) return L"Интервал авторизации не изменён: нужно целое число минут от 1 до 600";
    if (&row == &m_rows.uploadChunkSize)
        return L"Макс. размер файла не изменён: нужно целое число мегабайт от 0 до " + std::to_wstring(kMaxChunkMegabytes);
    if (&row == &m_rows.notifyDone) return L"«" + row.label + L"» не изменено: нужно «да» или «нет»";
    return L"Значение «" + row.label + L"» не изменено";
}

bool CSettings::Apply(CZKListEntry& row, std::wstring text) {
    std::lock_guard lock(m_writerMutex);
    if (text == row.Value()) return true;
    bool credentials = false;
    if (&row == &m_rows.logsPath) {
        text = NormalizeLogsFolder(text, m_moduleFolder);
    } else if (&row == &m_rows.auditPath) {
        text = text.empty() ? std::wstring(L"c:\\audit.UPLOAD") : NormalizeAuditFolder(text);
        if (m_targets) m_targets->AuditFolderChanged(text);
    } else if (&row == &m_rows.fileTypes) {
        const ExtensionFlags f = BuildExtensionList(text, m_extensions);
        m_acceptAll = f.acceptAll;
        m_contentLists = f.contentLists;
        m_journals = f.journals;
        if (m_targets) m_targets->ContentListFlagChanged(f.contentLists);
    } else if (&row == &m_rows.authTimeout) {
        uint32_t v = 0;
        if (!ParseCount(text, v) || v < 1 || v > 600) return false;
        m_authInterval = static_cast<int>(v);
    } else if (&row == &m_rows.uploadChunkSize) {
        uint32_t v = 0;
        if (!ParseCount(text, v) || v > kMaxChunkMegabytes) return false;
        m_chunkMb = v;
        if (m_targets) m_targets->ChunkSizeChanged(static_cast<uint64_t>(v) << 20);
    } else if (&row == &m_rows.notifyDone) {
        const std::optional<bool> on = YesNoFrom(text);
        if (!on) return false;
        m_notifyDone = *on;
        text = *on ? L"да" : L"нет";
        if (text == row.Value()) return true;
    } else if (&row == &m_rows.authUrl || &row == &m_rows.userName || &row == &m_rows.userPasswd) {
        credentials = true;
    }
    row.SetValue(text);
    ReadOrWriteAll(false);
    if (credentials && m_targets)
        m_targets->CredentialsChanged(m_rows.authUrl.Value(), m_rows.userName.Value(), m_rows.userPasswd.Value());
    return true;
}

}  // namespace zk
