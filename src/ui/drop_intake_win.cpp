// Drop intake. Threads: see the header.
#include "ui/drop_intake_win.h"

#include <new>
#include <utility>

#include "base/win_handles.h"
#include "ui/drop_target_win.h"

namespace zk {

DropIntake::~DropIntake() { Stop(); }

void DropIntake::Start(HWND window) {
    m_window = window;
    // OLE keeps its own reference while registered; ours ends here (and with it the target, when
    // the registration failed).
    const ComPtr<IDropTarget> target(new (std::nothrow) CZKDropTarget(this, window));
    if (target) RegisterDragDrop(window, target.get());
}

void DropIntake::Stop() {
    if (const HWND window = m_window.exchange(nullptr); window && IsWindow(window)) RevokeDragDrop(window);
    StopThreads();
}

void DropIntake::Repaint() const {
    if (const HWND window = m_window.load()) InvalidateRect(window, nullptr, FALSE);
}

void DropIntake::OnDragEnter(int files) {
    m_counts.With([files](Counts& c) { c.pending += files, c.dragFiles = files; });
    Repaint();
}

void DropIntake::OnDragLeave() {
    m_counts.With([](Counts& c) { c.pending -= std::exchange(c.dragFiles, 0); });
    Repaint();
}

void DropIntake::OnFileDone() {
    m_counts.With([](Counts& c) { --c.pending; });
    Repaint();
}

void DropIntake::Finished() { Repaint(); }

// A dropped file that will never be sent is said so in the journal.
void DropIntake::Finished(const DropOrderResult& r) {
    CJournal& journal = m_agent.Journal();
    if (!r.folderCreated) journal.Write(L"ERROR\tПеретаскивание\tНе удалось создать папку заказа: " + r.tempFolder + L"\n");
    for (const std::wstring& path : r.failed) journal.Write(L"ERROR\tПеретаскивание\tНе удалось создать ярлык: " + path + L"\n");
    if (r.accepted > 0 && r.finalFolder.empty())
        journal.Write(L"ERROR\tПеретаскивание\tПапка заказа не переименована: " + r.tempFolder + L"\n");
    Finished();
}

int DropIntake::Pending() const { return m_counts.With([](const Counts& c) { return c.pending; }); }

std::wstring DropIntake::AuditFolder() const { return m_agent.Rows().auditPath.Value(); }

bool DropIntake::Accepts(const std::wstring& path) {
    return ExtensionAccepted(path, m_agent.Settings().Extensions(), m_agent.Settings().Flags().acceptAll);
}

bool DropIntake::StartDrop(std::vector<std::wstring> paths) {
    CDropThread* chosen = nullptr;
    {
        std::lock_guard lock(m_threads.Mutex());
        CZKListEntry* e = m_threads.First();
        while (e) {
            CZKListEntry* next = e->next;
            auto* t = e->Attached<CDropThread>();
            if (t && !t->busy) {
                if (!chosen) {
                    chosen = t;
                } else {
                    // At most one idle thread object stays for reuse.
                    m_threads.Remove(e);
                    delete t;  // its destructor joins it (it has finished)
                }
            }
            e = next;
        }
        if (!chosen) {
            chosen = new (std::nothrow) CDropThread(this);
            if (!chosen) return false;
            CZKListEntry* entry = m_threads.Append(L"", L"", L"");
            if (!entry) {
                delete chosen;
                return false;
            }
            entry->Attach(chosen);
        }
        chosen->busy = true;
    }
    return chosen->Begin(std::move(paths));
}

void DropIntake::StopThreads() {
    std::lock_guard lock(m_threads.Mutex());
    for (CZKListEntry* e = m_threads.First(); e; e = e->next) {
        delete e->Attached<CDropThread>();  // waits for a drop in progress to end
        e->Attach(nullptr);
    }
    m_threads.Empty();
}

}  // namespace zk
