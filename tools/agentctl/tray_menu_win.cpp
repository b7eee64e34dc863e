#include "agentctl/tray_menu_win.h"

#include <chrono>
#include <thread>

namespace zk::tools {

HWND FindAgentWindow() { return FindWindowW(L"TOLMARIN_SS_UPLOADER", L"ZELTAVIO EXPRESS UPLOADER"); }

bool ChooseExitInTrayMenu(HWND main) {
    using namespace std::chrono;
    if (!main) return false;
    // The tray notification of a right click opens the popup menu in a modal loop of the agent.
    PostMessageW(main, WM_USER + 1, 0, WM_RBUTTONUP);
    HWND menu = nullptr;
    const auto deadline = steady_clock::now() + seconds(10);
    while (!(menu = FindWindowW(L"#32768", nullptr)) || !IsWindowVisible(menu)) {
        if (steady_clock::now() > deadline) return false;
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
