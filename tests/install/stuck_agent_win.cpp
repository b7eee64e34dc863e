// stuck_agent: stands in for an agent that will not end, for the install test. Its hidden
// window has the agent's class and title, which is how the installer finds a running agent,
// and it ignores the close request the installer sends. It prints "ready" once the window
// exists and ends only when its standard input ends (the test closes it).
// The window lives on the main thread; a second thread only waits for the end of the input.
#include <windows.h>

#include <cstdio>

#include "base/win_handles.h"

namespace {

constexpr UINT kEndOfInput = WM_APP + 1;

LRESULT CALLBACK OnMessage(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_CLOSE: return 0;  // refused: the point of this program
        case kEndOfInput: DestroyWindow(window); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: return DefWindowProcW(window, message, wp, lp);
    }
}

DWORD WINAPI WaitForEndOfInput(void* window) {
    char buffer[64];
    DWORD n = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &n, nullptr) && n > 0) {
    }
    PostMessageW(static_cast<HWND>(window), kEndOfInput, 0, 0);
    return 0;
}

}  // namespace

int wmain() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &OnMessage;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TOLMARIN_SS_UPLOADER";
    if (!RegisterClassExW(&wc)) return 1;
    zk::UniqueHwnd window(CreateWindowExW(0, wc.lpszClassName, L"ZELTAVIO EXPRESS UPLOADER", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                          wc.hInstance, nullptr));
    if (!window) return 1;
    zk::UniqueKernelHandle reader(CreateThread(nullptr, 0, &WaitForEndOfInput, window.get(), 0, nullptr));
    if (!reader) return 1;
    std::puts("ready");
    std::fflush(stdout);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    (void)window.release();  // destroyed by its own procedure
    return 0;
}
