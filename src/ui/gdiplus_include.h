// GDI+ with NOMINMAX: its headers use min and max unqualified.
#pragma once
#include <windows.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

namespace zk {

// GDI+ started for the program (GdiplusStartup) and shut down on scope exit when it started.
class ScopedGdiplus {
public:
    ScopedGdiplus() {
        Gdiplus::GdiplusStartupInput input;
        if (Gdiplus::GdiplusStartup(&m_token, &input, nullptr) != Gdiplus::Ok) m_token = 0;
    }
    ~ScopedGdiplus() {
        if (m_token) Gdiplus::GdiplusShutdown(m_token);
    }
    ScopedGdiplus(const ScopedGdiplus&) = delete;
    ScopedGdiplus& operator=(const ScopedGdiplus&) = delete;
    [[nodiscard]] bool Started() const { return m_token != 0; }

private:
    ULONG_PTR m_token = 0;
};

}  // namespace zk
