// Process entry of the agent.
#include <windows.h>

#include "ui/zk_window_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The window object outlives the message loop: its destructor is the shutdown sequence.
    zk::CZKWindow window;
    return window.Run(instance);
}
