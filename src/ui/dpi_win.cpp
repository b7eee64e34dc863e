#include "ui/dpi_win.h"

#include "base/win_handles.h"

namespace zk {
namespace {

int SystemDpi() {
    const ScopedWindowDc screen(nullptr);
    const int dpi = screen.Dc() ? GetDeviceCaps(screen.Dc(), LOGPIXELSY) : 96;
    return dpi > 0 ? dpi : 96;
}

template <class F>
F UserFunction(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// shcore.dll, loaded once for the process's life (Windows 8.1 and later).
class Shcore {
public:
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const Shcore& Get() {
        static const Shcore s;
        return s;
    }
    GetDpiForMonitorFn getDpiForMonitor = nullptr;

private:
    Shcore() : m_module(LoadLibraryW(L"shcore.dll")) {
        if (m_module)
            getDpiForMonitor = reinterpret_cast<GetDpiForMonitorFn>(reinterpret_cast<void*>(GetProcAddress(m_module.get(), "GetDpiForMonitor")));
    }
    UniqueHmodule m_module;
};

}  // namespace

int WindowDpi(HWND hwnd) {
    using Fn = UINT(WINAPI*)(HWND);
    static const Fn getDpiForWindow = UserFunction<Fn>("GetDpiForWindow");
    if (hwnd && getDpiForWindow) {
        const UINT dpi = getDpiForWindow(hwnd);
        if (dpi > 0) return static_cast<int>(dpi);
    }
    return SystemDpi();
}

int DpiAt(const RECT& rect) {
    const Shcore& shcore = Shcore::Get();
    if (shcore.getDpiForMonitor) {
        UINT x = 0, y = 0;
        constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
        if (SUCCEEDED(shcore.getDpiForMonitor(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), kEffectiveDpi, &x, &y)) && y > 0)
            return static_cast<int>(y);
    }
    return SystemDpi();
}

}  // namespace zk
