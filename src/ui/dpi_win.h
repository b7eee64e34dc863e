// The DPI of a window or a monitor. The per-monitor calls are looked up at run time: the
// program still starts on a Windows without them and then draws at the system DPI.
#pragma once
#include <windows.h>

namespace zk {

[[nodiscard]] int WindowDpi(HWND hwnd);
// The DPI of the monitor that holds most of `rect` (screen coordinates).
[[nodiscard]] int DpiAt(const RECT& rect);

}  // namespace zk
