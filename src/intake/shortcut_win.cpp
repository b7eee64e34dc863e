#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <thread>

#include "base/win_handles.h"
#include "intake/shortcut.h"

namespace zk {
namespace {

// COM stays initialised on the calling thread until the thread ends.
void EnsureCom() {
    thread_local ScopedCoInit com;
    (void)com;
}

HRESULT CreateShellLink(ComPtr<IShellLinkW>& link) {
    HRESULT hr = E_FAIL;
    for (int tries = 0; tries < 100; ++tries) {
        hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
        if (hr != CO_E_NOTINITIALIZED) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return hr;
}

}  // namespace

int32_t ResolveShortcut(const std::wstring& path, ShortcutInfo& info) {
    info = ShortcutInfo{};
    EnsureCom();
    ComPtr<IShellLinkW> link;
    HRESULT hr = CreateShellLink(link);
    if (FAILED(hr)) return hr;
    ComPtr<IPersistFile> file;
    hr = link->QueryInterface(IID_IPersistFile, file.put_void());
    if (FAILED(hr)) return hr;
    hr = file->Load(path.c_str(), STGM_READ);
    if (FAILED(hr)) return hr;
    hr = link->Resolve(nullptr, SLR_NO_UI | SLR_ANY_MATCH);
    if (FAILED(hr)) return hr;
    wchar_t target[MAX_PATH] = {};
    WIN32_FIND_DATAW data = {};
    hr = link->GetPath(target, MAX_PATH, &data, SLGP_RAWPATH);
    if (FAILED(hr)) return hr;
    info.target = target;
    info.targetSize = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    wchar_t description[MAX_PATH] = {};
    hr = link->GetDescription(description, MAX_PATH);
    info.description = description;
    return hr;
}

int32_t CreateShortcut(const std::wstring& target, const std::wstring& shortcutPath) {
    EnsureCom();
    ComPtr<IShellLinkW> link;
    HRESULT hr = CreateShellLink(link);
    if (FAILED(hr)) return hr;
    link->SetPath(target.c_str());
    link->SetDescription(L"");
    ComPtr<IPersistFile> file;
    hr = link->QueryInterface(IID_IPersistFile, file.put_void());
    if (FAILED(hr)) return hr;
    return file->Save(shortcutPath.c_str(), TRUE);
}

}  // namespace zk
