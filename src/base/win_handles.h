// Owners of the Win32 handle types. Include only from Windows-only code: the *_win.cpp files
// and the headers of Windows-only classes (the window object, the registry store).
#pragma once
#include <windows.h>
#include <ole2.h>

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
    // Takes a reference of its own to a pointer it is lent (a COM method's argument).
    [[nodiscard]] static ComPtr Retain(I* p) {
        if (p) p->AddRef();
        return ComPtr(p);
    }
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

// A per-thread initialisation (COM, OLE), undone on scope exit when it succeeded.
template <HRESULT (*Init)(), void (*Uninit)()>
class ScopedThreadInit {
public:
    ScopedThreadInit() : m_hr(Init()) {}
    ~ScopedThreadInit() {
        if (SUCCEEDED(m_hr)) Uninit();
    }
    ScopedThreadInit(const ScopedThreadInit&) = delete;
    ScopedThreadInit& operator=(const ScopedThreadInit&) = delete;
    [[nodiscard]] HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};
inline HRESULT CoInitThread() { return CoInitialize(nullptr); }
inline void CoUninitThread() { CoUninitialize(); }
inline HRESULT OleInitThread() { return OleInitialize(nullptr); }
inline void OleUninitThread() { OleUninitialize(); }
using ScopedCoInit = ScopedThreadInit<&CoInitThread, &CoUninitThread>;
using ScopedOleInit = ScopedThreadInit<&OleInitThread, &OleUninitThread>;

// A window's paint cycle: BeginPaint now, EndPaint on scope exit.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND hwnd) : m_hwnd(hwnd), m_dc(BeginPaint(hwnd, &m_ps)) {}
    ~ScopedPaint() { EndPaint(m_hwnd, &m_ps); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;
    [[nodiscard]] HDC Dc() const { return m_dc; }
    [[nodiscard]] const RECT& Dirty() const { return m_ps.rcPaint; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps{};
    HDC m_dc;
};

// A window's (or the screen's, with null) device context, released on scope exit.
class ScopedWindowDc {
public:
    explicit ScopedWindowDc(HWND hwnd) : m_hwnd(hwnd), m_dc(GetDC(hwnd)) {}
    ~ScopedWindowDc() {
        if (m_dc) ReleaseDC(m_hwnd, m_dc);
    }
    ScopedWindowDc(const ScopedWindowDc&) = delete;
    ScopedWindowDc& operator=(const ScopedWindowDc&) = delete;
    [[nodiscard]] HDC Dc() const { return m_dc; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

}  // namespace zk
