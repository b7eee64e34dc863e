#include "agentctl/tray_menu_win.h"

#include <chrono>
#include <thread>

namespace zk::tools {

HWND FindAgentWindow() { return FindWindowW(L"TOLMARIN_SS_UPLOADER", L"ZELTAVIO EXPRESS UPLOADER"); }

bool ChooseExitInTrayMenu(HWND main) {
    using namespace std::chrono;
    if (!main) return false;
    // The tray notification of a right click opens the popup menu in a modal loop of the agent:
    // a version-4 shell's WM_CONTEXTMENU (anchor in wParam), or, from an agent whose shell did
    // not take version 4, the plain button message.
    PostMessageW(main, WM_USER + 1, MAKEWPARAM(200, 200), MAKELPARAM(WM_CONTEXTMENU, 0));
    HWND menu = nullptr;
    const auto start = steady_clock::now();
    bool plainSent = false;
    while (!(menu = FindWindowW(L"#32768", nullptr)) || !IsWindowVisible(menu)) {
        if (steady_clock::now() > start + seconds(10)) return false;
        if (!plainSent && steady_clock::now() > start + seconds(3)) {
            PostMessageW(main, WM_USER + 1, 0, WM_RBUTTONUP);
            plainSent = true;
        }
        std::this_thread::sleep_for(milliseconds(20));
    }
    // From no selection, Up selects the last item: the exit.
    PostMessageW(menu, WM_KEYDOWN, VK_UP, 0);
    PostMessageW(menu, WM_KEYUP, VK_UP, 0);
    std::this_thread::sleep_for(milliseconds(100));
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageW(menu, WM_KEYUP, VK_RETURN, 0);
    return true;
}

}  // namespace zk::tools
