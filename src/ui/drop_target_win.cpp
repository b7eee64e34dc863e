// Drop intake on Windows.
// Threads: CZKDropTarget runs on the main thread (OLE calls it there); each CDropThread builds
// one order on its own thread. The window's m_dropMutex guards the drop counts; the drop-thread
// list is walked and changed under its own lock.
#include "ui/drop_target_win.h"

#include <shellapi.h>

#include "base/win_handles.h"
#include "intake/drop_order.h"
#include "ui/zk_window_win.h"

namespace zk {
namespace {

// The drag-image helper: one per process, made by the first drag that finds it missing.
IDropTargetHelper* g_dragImage = nullptr;

IDropTargetHelper* DragImage() {
    if (!g_dragImage)
        CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDropTargetHelper, reinterpret_cast<void**>(&g_dragImage));
    return g_dragImage;
}

// A storage medium released on scope exit.
struct Medium {
    STGMEDIUM m{};
    ~Medium() {
        if (m.tymed != TYMED_NULL) ReleaseStgMedium(&m);
    }
};

}  // namespace

void ReleaseDragImageHelper() {
    if (g_dragImage) g_dragImage->Release();
    g_dragImage = nullptr;
}

bool DroppedPaths(IDataObject* data, std::vector<std::wstring>* paths, UINT* count) {
    if (!data) return false;
    FORMATETC fmt{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    Medium medium;
    if (FAILED(data->GetData(&fmt, &medium.m))) return false;
    auto drop = static_cast<HDROP>(medium.m.hGlobal);
    const UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    if (count) *count = n;
    if (paths) {
        for (UINT i = 0; i < n; ++i) {
            wchar_t path[MAX_PATH] = {};
            DragQueryFileW(drop, i, path, MAX_PATH);
            paths->push_back(path);
        }
    }
    return true;
}

// ---- drop target ----

CZKDropTarget::~CZKDropTarget() { RevokeDragDrop(m_hwnd); }

HRESULT CZKDropTarget::QueryInterface(REFIID riid, void** out) {
    if (riid == IID_IUnknown || riid == IID_IDropTarget) {
        *out = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG CZKDropTarget::AddRef() { return static_cast<ULONG>(++m_refs); }

ULONG CZKDropTarget::Release() {
    const LONG n = --m_refs;
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

HRESULT CZKDropTarget::DragEnter(IDataObject* data, DWORD, POINTL pt, DWORD* effect) {
    if (IDropTargetHelper* h = DragImage()) {
        POINT p{pt.x, pt.y};
        h->DragEnter(m_hwnd, data, &p, *effect);
    }
    m_data = data;
    UINT count = 0;
    if (!DroppedPaths(data, nullptr, &count)) {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    m_window->OnDragEnter(static_cast<int>(count));
    *effect = DROPEFFECT_COPY;
    return S_OK;
}

HRESULT CZKDropTarget::DragOver(DWORD, POINTL pt, DWORD* effect) {
    if (IDropTargetHelper* h = DragImage()) {
        POINT p{pt.x, pt.y};
        h->DragOver(&p, *effect);
    }
    *effect = DROPEFFECT_COPY;
    return S_OK;
}

HRESULT CZKDropTarget::DragLeave() {
    if (IDropTargetHelper* h = DragImage()) h->DragLeave();
    m_window->OnDragLeave();
    m_data = nullptr;
    return S_OK;
}

HRESULT CZKDropTarget::Drop(IDataObject* data, DWORD, POINTL pt, DWORD* effect) {
    if (IDropTargetHelper* h = DragImage()) {
        POINT p{pt.x, pt.y};
        h->Drop(m_data ? m_data : data, &p, *effect);
    }
    std::vector<std::wstring> paths;
    if (!DroppedPaths(m_data ? m_data : data, &paths, nullptr) || paths.empty()) {
        m_window->DropFinished();
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    // The paths travel with the drop's own thread, so that a second drop cannot replace them.
    m_window->StartDrop(std::move(paths));
    *effect = DROPEFFECT_COPY;
    return S_OK;
}

// ---- drop thread ----

bool CDropThread::Begin(std::vector<std::wstring> paths) {
    Join();
    m_paths = std::move(paths);
    busy = true;
    return Launch(false);
}

unsigned CDropThread::ThreadBody() {
    busy = true;
    // Shortcuts are COM objects: this thread initialises COM for itself (CreateShortcut does).
    const DropOrderResult r = BuildDropOrder(m_window->DropAuditFolder(), m_paths,
                                             [this](const std::wstring& p) { return m_window->DropAccepts(p); },
                                             [this] { m_window->OnDropFileDone(); }, m_window->Clock());
    m_window->DropFinished(r);
    busy = false;
    return 0;
}

// ---- the window's side ----

void CZKWindow::StartDropTarget() {
    auto* target = new (std::nothrow) CZKDropTarget(this, m_balloon);
    if (target && FAILED(RegisterDragDrop(m_balloon, target))) {
        target->AddRef();
        target->Release();  // destroys it
    }
}

void CZKWindow::StopDropTarget() {
    if (m_balloon && IsWindow(m_balloon)) RevokeDragDrop(m_balloon);
    ReleaseDragImageHelper();
}

void CZKWindow::OnDragEnter(int files) {
    {
        std::lock_guard lock(m_dropMutex);
        m_dropPending += files;
        m_dragFiles = files;
    }
    if (const HWND balloon = m_balloon.load()) InvalidateRect(balloon, nullptr, FALSE);
}

void CZKWindow::OnDragLeave() {
    {
        std::lock_guard lock(m_dropMutex);
        m_dropPending -= m_dragFiles;
        m_dragFiles = 0;
    }
    if (const HWND balloon = m_balloon.load()) InvalidateRect(balloon, nullptr, FALSE);
}

void CZKWindow::OnDropFileDone() {
    {
        std::lock_guard lock(m_dropMutex);
        --m_dropPending;
    }
    if (const HWND balloon = m_balloon.load()) InvalidateRect(balloon, nullptr, FALSE);
}

void CZKWindow::DropFinished() {
    if (const HWND balloon = m_balloon.load()) InvalidateRect(balloon, nullptr, FALSE);
}

// A dropped file that will never be sent is said so in the journal.
void CZKWindow::DropFinished(const DropOrderResult& r) {
    if (m_agent) {
        CJournal& journal = m_agent->Journal();
        if (!r.folderCreated) journal.Write(L"ERROR\tПеретаскивание\tНе удалось создать папку заказа: " + r.tempFolder + L"\n");
        for (const std::wstring& path : r.failed) journal.Write(L"ERROR\tПеретаскивание\tНе удалось создать ярлык: " + path + L"\n");
        if (r.accepted > 0 && r.finalFolder.empty())
            journal.Write(L"ERROR\tПеретаскивание\tПапка заказа не переименована: " + r.tempFolder + L"\n");
    }
    DropFinished();
}

int CZKWindow::DropPending() const {
    std::lock_guard lock(m_dropMutex);
    return m_dropPending;
}

std::wstring CZKWindow::DropAuditFolder() const { return m_agent ? m_agent->Rows().auditPath.Value() : std::wstring(); }

bool CZKWindow::DropAccepts(const std::wstring& path) {
    if (!m_agent) return false;
    return ExtensionAccepted(path, m_agent->Settings().Extensions(), m_agent->Settings().Flags().acceptAll);
}

bool CZKWindow::StartDrop(std::vector<std::wstring> paths) {
    CDropThread* chosen = nullptr;
    {
        std::lock_guard lock(m_dropThreads.Mutex());
        CZKListEntry* e = m_dropThreads.First();
        while (e) {
            CZKListEntry* next = e->next;
            auto* t = static_cast<CDropThread*>(e->attached);
            if (t && !t->busy) {
                if (!chosen) {
                    chosen = t;
                } else {
                    // At most one idle thread object stays for reuse.
                    m_dropThreads.Remove(e);
                    delete t;  // its destructor joins it (it has finished)
                }
            }
            e = next;
        }
        if (!chosen) {
            chosen = new (std::nothrow) CDropThread(this);
            if (!chosen) return false;
            CZKListEntry* entry = m_dropThreads.Append(L"", L"", L"");
            if (!entry) {
                delete chosen;
                return false;
            }
            entry->attached = chosen;
        }
        chosen->busy = true;
    }
    return chosen->Begin(std::move(paths));
}

void CZKWindow::StopDropThreads() {
    std::lock_guard lock(m_dropThreads.Mutex());
    for (CZKListEntry* e = m_dropThreads.First(); e; e = e->next) {
        delete static_cast<CDropThread*>(e->attached);  // waits for a drop in progress to end
        e->attached = nullptr;
    }
    m_dropThreads.Empty();
}

}  // namespace zk
