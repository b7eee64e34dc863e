// The OLE drop target and the drop threads.
// Threads: CZKDropTarget runs on the main thread (OLE calls it there); each CDropThread builds
// one order on its own thread and reports to the drop intake, which takes its own locks.
#include "ui/drop_target_win.h"

#include <shellapi.h>

#include <utility>

#include "base/scope_exit.h"
#include "base/win_handles.h"
#include "intake/drop_order.h"
#include "ui/drop_intake_win.h"

namespace zk {
namespace {

// A storage medium released on scope exit.
struct Medium {
    STGMEDIUM m{};
    ~Medium() {
        if (m.tymed != TYMED_NULL) ReleaseStgMedium(&m);
    }
};

}  // namespace

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

IDropTargetHelper* CZKDropTarget::DragImage() {
    if (!m_dragImage)
        CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDropTargetHelper, m_dragImage.put_void());
    return m_dragImage.get();
}

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
    m_data = ComPtr<IDataObject>::Retain(data);
    UINT count = 0;
    if (!DroppedPaths(data, nullptr, &count)) {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    m_intake->OnDragEnter(static_cast<int>(count));
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
    m_intake->OnDragLeave();
    m_data.reset();
    return S_OK;
}

HRESULT CZKDropTarget::Drop(IDataObject* data, DWORD, POINTL pt, DWORD* effect) {
    const ComPtr<IDataObject> entered = std::move(m_data);
    IDataObject* const source = entered ? entered.get() : data;
    if (IDropTargetHelper* h = DragImage()) {
        POINT p{pt.x, pt.y};
        h->Drop(source, &p, *effect);
    }
    std::vector<std::wstring> paths;
    if (!DroppedPaths(source, &paths, nullptr) || paths.empty()) {
        m_intake->Finished();
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    // The paths travel with the drop's own thread, so that a second drop cannot replace them.
    m_intake->StartDrop(std::move(paths));
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
    const ScopeExit idle([this] { busy = false; });  // reusable again however the drop ended
    // Shortcuts are COM objects: this thread initialises COM for itself (CreateShortcut does).
    const DropOrderResult r = BuildDropOrder(m_intake->AuditFolder(), m_paths,
                                             [this](const std::wstring& p) { return m_intake->Accepts(p); },
                                             [this] { m_intake->OnFileDone(); }, m_intake->Clock());
    m_intake->Finished(r);
    return 0;
}

}  // namespace zk
