// Drag and drop onto the balloon window (Windows): the OLE drop target counts on the main thread;
// one drop thread per drop builds the order folder of shortcuts.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/win_handles.h"
#include "base/zk_thread.h"

namespace zk {

class DropIntake;

// Builds the order of one drop; the busy flag marks it in use, the stop flag is set by shutdown.
// One drop's worker. It has no stop: a drop in progress is always completed, and its owner
// waits for it (the destructor joins).
class CDropThread final : public CZKThread {
public:
    explicit CDropThread(DropIntake* intake) : m_intake(intake) {}
    // Takes the paths of a drop and starts the thread for them (after the previous drop's ended).
    bool Begin(std::vector<std::wstring> paths);
    std::atomic<bool> busy{false};

protected:
    unsigned ThreadBody() override;

private:
    DropIntake* m_intake;
    std::vector<std::wstring> m_paths;  // written by Begin before the thread starts
};

class CZKDropTarget final : public IDropTarget {
public:
    CZKDropTarget(DropIntake* intake, HWND hwnd) : m_intake(intake), m_hwnd(hwnd) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL pt, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;

private:
    ~CZKDropTarget();

    // The shell's drag-image helper, made by the first drag that finds it missing.
    IDropTargetHelper* DragImage();

    DropIntake* m_intake;
    ComPtr<IDataObject> m_data;  // the last DragEnter's object
    ComPtr<IDropTargetHelper> m_dragImage;
    HWND m_hwnd;
    std::atomic<LONG> m_refs{1};  // the creator's reference
};

// The file paths of a data object's CF_HDROP list; false when it has none.
bool DroppedPaths(IDataObject* data, std::vector<std::wstring>* paths, UINT* count);

}  // namespace zk
