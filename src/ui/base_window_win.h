// The one window-procedure trampoline of the program's windows: the static procedure stores the
// object at WM_NCCREATE and forwards every message to its member OnMessage(msg, wp, lp). The
// object owns its window: Destroy() ends it with its messages, and the object's end at the latest.
// Thread: the main thread creates, dispatches and destroys; Handle() may be read on any thread.
#pragma once
#include <windows.h>

#include <atomic>

namespace zk {

template <class T>
class BaseWindow {
public:
    BaseWindow(const BaseWindow&) = delete;
    BaseWindow& operator=(const BaseWindow&) = delete;

    // Null before creation and after WM_NCDESTROY.
    [[nodiscard]] HWND Handle() const { return m_hwnd.load(); }
    // Destroys the window now (its WM_DESTROY runs on this call).
    void Destroy() {
        if (const HWND hwnd = m_hwnd.load(); hwnd && IsWindow(hwnd)) DestroyWindow(hwnd);
    }

protected:
    BaseWindow() = default;
    // The derived object is gone by now: the window is cut off from it before it is destroyed,
    // so its last messages go to the default procedure. Owners destroy windows before that.
    ~BaseWindow() {
        if (const HWND hwnd = m_hwnd.exchange(nullptr); hwnd && IsWindow(hwnd)) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            DestroyWindow(hwnd);
        }
    }

    // Registers a class whose procedure is the trampoline; the rest of `wc` is the caller's.
    static void RegisterWindowClass(WNDCLASSEXW wc) {
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &Procedure;
        RegisterClassExW(&wc);
    }
    bool CreateWindowOf(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, const RECT& place, HWND parent,
                        HINSTANCE instance) {
        return CreateWindowExW(exStyle, className, title, style, place.left, place.top, place.right - place.left,
                               place.bottom - place.top, parent, nullptr, instance, static_cast<T*>(this)) != nullptr;
    }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        T* self = nullptr;
        if (msg == WM_NCCREATE) {
            self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            self->m_hwnd = hwnd;
        } else {
            self = reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        }
        if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
        const LRESULT result = self->OnMessage(msg, wp, lp);
        if (msg == WM_NCDESTROY) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->m_hwnd = nullptr;
        }
        return result;
    }

    std::atomic<HWND> m_hwnd{nullptr};
};

}  // namespace zk
