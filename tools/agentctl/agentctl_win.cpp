// agentctl: helper for the demo and the scripts, run under Wine.
//   agentctl exit                      choose the exit item of the running agent's tray menu
//   agentctl shortcut <target> <link>  make a shell shortcut (as an editor or a drop would)
//   agentctl wait-exit <seconds>       wait until no agent runs any more
//   agentctl handles                   print the running agent's handle count and GDI and USER objects
//   agentctl hide                      close the running agent's balloon window (it hides)
//   agentctl hold                      keep the Wine session and its desktop up until killed
//     (run with its output on /dev/null: Wine's own background processes start with the output
//     of whichever process needs them first; a test's pipe held by them keeps ctest waiting for
//     that test until every other Wine process has ended)
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "agentctl/tray_menu_win.h"
#include "intake/shortcut.h"

namespace {

// The handles a process holds, from the system's list of all handles (SystemHandleInformation).
DWORD HandlesOfProcess(DWORD pid) {
    struct Entry {
        ULONG ownerPid;
        BYTE objectType, flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    while (query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) == static_cast<LONG>(0xC0000004)) buffer.resize(buffer.size() * 2);
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    DWORD n = 0;
    for (ULONG i = 0; i < table->count; ++i) n += table->entries[i].ownerPid == pid;
    return n;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring cmd = argc > 1 ? argv[1] : L"";
    if (cmd == L"exit") {
        HWND main = zk::tools::FindAgentWindow();
        if (!main) {
            std::fprintf(stderr, "no running agent\n");
            return 1;
        }
        return zk::tools::ChooseExitInTrayMenu(main) ? 0 : 1;
    }
    if (cmd == L"shortcut" && argc == 4) return zk::CreateShortcut(argv[2], argv[3]) == zk::kHrOk ? 0 : 1;
    if (cmd == L"wait-exit" && argc == 3) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(_wtoi(argv[2]));
        while (zk::tools::FindAgentWindow()) {
            if (std::chrono::steady_clock::now() > deadline) return 1;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return 0;
    }
    if (cmd == L"handles") {
        HWND main = zk::tools::FindAgentWindow();
        DWORD pid = 0;
        if (main) GetWindowThreadProcessId(main, &pid);
        HANDLE process = pid ? OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid) : nullptr;
        if (!process) {
            std::fprintf(stderr, "no running agent\n");
            return 1;
        }
        DWORD handles = 0;
        GetProcessHandleCount(process, &handles);
        if (handles == 0) handles = HandlesOfProcess(pid);  // Wine does not count them there
        std::printf("handles %lu gdi %lu user %lu\n", handles, GetGuiResources(process, GR_GDIOBJECTS), GetGuiResources(process, GR_USEROBJECTS));
        CloseHandle(process);
        return 0;
    }
    if (cmd == L"hide") {
        HWND main = zk::tools::FindAgentWindow();
        DWORD pid = 0;
        if (main) GetWindowThreadProcessId(main, &pid);
        for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"CZKWindow", nullptr)) != nullptr;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (pid && owner == pid) return PostMessageW(w, WM_CLOSE, 0, 0) ? 0 : 1;
        }
        std::fprintf(stderr, "no running agent\n");
        return 1;
    }
    if (cmd == L"hold") {
        GetDesktopWindow();  // starts the desktop process now, from here
        for (;;) Sleep(INFINITE);
    }
    std::fprintf(stderr, "usage: agentctl exit | shortcut <target> <link> | wait-exit <seconds> | handles | hide | hold\n");
    return 2;
}
