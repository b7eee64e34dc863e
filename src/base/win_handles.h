// Owners of the Win32 handle types. Include only from Windows-only code: the *_win.cpp files
// and the headers of Windows-only classes (the window object, the registry store).
#pragma once
#include <windows.h>
#include <ole2.h>
#include <wininet.h>

#include <utility>

#include "base/unique_handle.h"

namespace zk {

// Kernel objects (processes, threads, events) report failure with null; files and directory
// searches with INVALID_HANDLE_VALUE. Each owner has its own "none", so an owner never takes
// the other's failure value for a handle.
using UniqueKernelHandle = UniqueHandle<HANDLE, &CloseHandle>;
using UniqueFileHandle = UniqueHandle<HANDLE, &CloseHandle, intptr_t{-1}>;
inline void CloseFind(HANDLE h) { FindClose(h); }
using UniqueFindHandle = UniqueHandle<HANDLE, &CloseFind, intptr_t{-1}>;
using UniqueHkey = UniqueHandle<HKEY, &RegCloseKey>;
using UniqueHinternet = UniqueHandle<HINTERNET, &InternetCloseHandle>;
using UniqueHicon = UniqueHandle<HICON, &DestroyIcon>;
using UniqueHmenu = UniqueHandle<HMENU, &DestroyMenu>;
using UniqueHwnd = UniqueHandle<HWND, &DestroyWindow>;
using UniqueHmodule = UniqueHandle<HMODULE, &FreeLibrary>;
inline void FreeGlobal(HGLOBAL h) { GlobalFree(h); }
using UniqueHglobal = UniqueHandle<HGLOBAL, &FreeGlobal>;
template <class T>
inline void DeleteGdiObject(T h) {
    DeleteObject(h);
}
using UniqueGdiObject = UniqueHandle<HGDIOBJ, &DeleteGdiObject<HGDIOBJ>>;
using UniqueHrgn = UniqueHandle<HRGN, &DeleteGdiObject<HRGN>>;
using UniqueHbrush = UniqueHandle<HBRUSH, &DeleteGdiObject<HBRUSH>>;
using UniqueHfont = UniqueHandle<HFONT, &DeleteGdiObject<HFONT>>;

// Owner of one COM interface pointer (Release on reset).
template <class I>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(I* p) : m_p(p) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) reset(std::exchange(o.m_p, nullptr));
        return *this;
    }
    ~ComPtr() { reset(); }
    I* get() const { return m_p; }
    I* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    void reset(I* p = nullptr) {
        if (m_p) m_p->Release();
        m_p = p;
    }
    I** put() {
        reset();
        return &m_p;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

private:
    I* m_p = nullptr;
};

// CoInitialize for the calling thread, undone on scope exit when it succeeded.
class ScopedCoInit {
public:
    ScopedCoInit() : m_hr(CoInitialize(nullptr)) {}
    ~ScopedCoInit() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    ScopedCoInit(const ScopedCoInit&) = delete;
    ScopedCoInit& operator=(const ScopedCoInit&) = delete;
    [[nodiscard]] HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

// OleInitialize for the calling thread, undone on scope exit when it succeeded.
class ScopedOleInit {
public:
    ScopedOleInit() : m_hr(OleInitialize(nullptr)) {}
    ~ScopedOleInit() {
        if (SUCCEEDED(m_hr)) OleUninitialize();
    }
    ScopedOleInit(const ScopedOleInit&) = delete;
    ScopedOleInit& operator=(const ScopedOleInit&) = delete;
    [[nodiscard]] HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

}  // namespace zk
