// Driving the running agent from outside (Windows): its tray menu and its windows.
#pragma once
#include <windows.h>

namespace zk::tools {

// The agent's hidden main window, or null.
HWND FindAgentWindow();
// Right click on the tray icon, then the last item of the popup menu (the exit).
bool ChooseExitInTrayMenu(HWND main);

}  // namespace zk::tools
