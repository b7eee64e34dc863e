#include "app/journal.h"

#include <cwchar>
#include <vector>

#include "base/path.h"
#include "base/text_file.h"
#include "base/utf16.h"

namespace zk {
namespace {

std::wstring Format(const wchar_t* fmt, int a, int b, int c) {
    wchar_t buf[64];
    std::swprintf(buf, 64, fmt, a, b, c);
    return buf;
}

std::wstring TodoFolder(const JournalSettings& s) { return CJournal::TodoFolderOf(s.logsFolder); }
std::wstring DoneFolder(const JournalSettings& s) { return JoinPath(s.logsFolder, L"_LOGS.UPLOADER.DONE"); }

}  // namespace

std::wstring CJournal::FileName(const std::wstring& agentClass, const std::wstring& mac, const LocalTime& day) {
    return agentClass + L"_" + mac + L"_" + Format(L"%02i%02i%02i", day.year, day.month, day.day) + L".log";
}

std::wstring CJournal::Stamp() const {
    const LocalTime t = m_clock.Local(m_clock.Now());
    return Format(L"%02i.%02i.%02i\t", t.year, t.month, t.day) + Format(L"%02i:%02i:%02i\t", t.hour, t.minute, t.second);
}

std::wstring CJournal::HandOverStamp() const {
    const uint32_t v = static_cast<uint32_t>(static_cast<uint64_t>(m_clock.Now()) + m_clock.TickCount());
    wchar_t buf[16];
    std::swprintf(buf, 16, L"%X", v);
    return buf;
}

std::wstring CJournal::OpenDay(const JournalSettings& settings) {
    const std::wstring todo = TodoFolder(settings);
    // A folder that cannot be made shows up as a journal that cannot be opened.
    (void)CreateFolder(todo);
    (void)CreateFolder(DoneFolder(settings));
    const std::wstring name = FileName(settings.agentClass, settings.mac, m_clock.Local(m_clock.Now()));
    const std::wstring path = JoinPath(todo, name);
    // Close first, then open: the journal denies writing to every other handle, even our own old one.
    std::lock_guard lock(m_mutex);
    m_stream.reset();
    m_currentPath = path;
    m_currentName = name;
    m_closed = false;
    OpenLocked();
    return path;
}

void CJournal::OpenLocked() {
    m_lastOpenTick = m_clock.TickCount();
    m_stream.reset(OpenStream(m_currentPath, L"ab", true));
    if (m_stream) {
        std::fseek(m_stream.get(), 0, SEEK_END);
        if (std::ftell(m_stream.get()) == 0) {
            std::fputs("\xEF\xBB\xBF", m_stream.get());
            std::fflush(m_stream.get());
        }
    }
}

bool CJournal::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return static_cast<bool>(m_stream);
}

bool CJournal::Rotate(const JournalSettings& settings) {
    OpenDay(settings);
    bool ok = IsOpen();
    const std::wstring current = [&] {
        std::lock_guard lock(m_mutex);
        return m_currentName;
    }();
    std::wstring stamp, temp;
    do {
        stamp = HandOverStamp();
        temp = JoinPath(settings.auditFolder, L"TMPUPLOAD_" + stamp);
    } while (PathExists(temp));

    const std::wstring todo = TodoFolder(settings), done = DoneFolder(settings);
    std::vector<DirEntry> files;
    ListFolder(todo, L"*.log", files);
    int handled = 0;
    for (const DirEntry& f : files) {
        if (f.isFolder || EqualsNoCase(f.name, current)) continue;
        const std::wstring source = JoinPath(todo, f.name);
        if (settings.handOver) {
            if (handled == 0 && !CreateFolder(temp)) return false;
            if (!CopyFileTo(source, JoinPath(temp, f.name), false)) ok = false;
        }
        ++handled;
        // Removed from the to-do folder only once its copy is in the done folder.
        if (!CopyFileTo(source, JoinPath(done, f.name), true) || !DeleteFileAt(source)) ok = false;
    }
    if (settings.handOver && handled > 0) {
        const LocalTime t = m_clock.Local(m_clock.Now());
        const std::wstring final = JoinPath(settings.auditFolder,
                                            L"_LOGS.UPLOADER_" + Format(L"%02i%02i%02i", t.year, t.month, t.day) + L"_" + stamp);
        if (!RenamePath(temp, final)) return false;
    }
    return ok;
}

void CJournal::Write(const std::wstring& text, bool stamp) {
    const std::wstring line = stamp ? Stamp() + text : text;
    const std::string bytes = Utf8TextBytes(line, false);
    std::lock_guard lock(m_mutex);
    WriteLocked(bytes);
}

void CJournal::WriteLastAndClose(const std::wstring& text) {
    const std::string bytes = Utf8TextBytes(Stamp() + text, false);
    std::lock_guard lock(m_mutex);
    WriteLocked(bytes);
    m_stream.reset();
    m_closed = true;
}

void CJournal::WriteLocked(const std::string& bytes) {
    if (!m_stream && !m_closed && !m_currentPath.empty() && m_clock.TickCount() - m_lastOpenTick >= kReopenPauseMs) OpenLocked();
    if (!m_stream) return;
    std::fwrite(bytes.data(), 1, bytes.size(), m_stream.get());
    std::fflush(m_stream.get());
}

void CJournal::Close() {
    std::lock_guard lock(m_mutex);
    m_stream.reset();
    m_closed = true;
}

std::wstring CJournal::TodoFolderOf(const std::wstring& logsFolder) { return JoinPath(logsFolder, L"_LOGS.UPLOADER.TODO"); }

std::wstring CJournal::CurrentPath() const {
    std::lock_guard lock(m_mutex);
    return m_currentPath;
}


}  // namespace zk
