// The window object's insides for the window tests: its steps driven one by one, its windows,
// its rows and its editor.
#pragma once
#include <windows.h>

#include "ui/zk_window_win.h"

namespace zk {

struct WindowProbe {
    static bool BuildFrame(CZKWindow& w, const std::wstring& agentClass) {
        w.m_instance = GetModuleHandleW(nullptr);
        w.m_agentClass = agentClass;
        return w.BuildFrame();
    }
    static bool StartUp(CZKWindow& w) { return w.StartUp(); }
    static void ShutDown(CZKWindow& w) { w.ShutDown(); }
    static bool ClockRunning(const CZKWindow& w) { return w.m_clockThread && w.m_clockThread->IsRunning(); }
    static void DestroyMainWindow(CZKWindow& w) {
        if (w.m_main) DestroyWindow(w.m_main);
        w.m_main = nullptr;
    }
    static HWND Main(const CZKWindow& w) { return w.m_main; }
    static HWND Balloon(const CZKWindow& w) { return w.m_balloon.load(); }
    static HWND Edit(const CZKWindow& w) { return w.m_edit; }
    static HMENU Menu(const CZKWindow& w) { return w.m_menu.get(); }
    static CZKListEntry* Editing(const CZKWindow& w) { return w.m_editing; }
    static CAgent& Agent(CZKWindow& w) { return *w.m_agent; }
    static int DropPending(const CZKWindow& w) { return w.DropPending(); }
    static HICON Icon(const CZKWindow& w) { return w.m_icon.get(); }
    static HICON IconFor(const CZKWindow& w, TrayLook look) { return w.TrayIconFor(look); }
    // Before BuildFrame: the shell the window object talks to.
    static void SetShell(CZKWindow& w, ITrayShell& shell) { w.m_shell = &shell; }
    static void SetFolderShell(CZKWindow& w, IFolderShell& shell) { w.m_folderShell = &shell; }
    static int Dpi(const CZKWindow& w) { return w.m_dpi.load(); }
    // No table repaint is posted, waits on its timer or waits to be painted.
    static bool TableSettled(const CZKWindow& w) {
        const HWND balloon = w.m_balloon.load();
        return !w.m_tableQueued.load() && !w.m_tableTimerArmed && (!balloon || !GetUpdateRect(balloon, nullptr, FALSE));
    }
    static RectI Body(const CZKWindow& w) { return w.Body(); }
    static RectI CloseBox(const CZKWindow& w) { return w.CloseBox(); }
    static std::wstring Caption(const CZKWindow& w) { return w.CaptionText(); }
    static TailSide Side(const CZKWindow& w) { return w.m_side.load(); }
    static int TailStart(const CZKWindow& w) { return w.m_tailStart; }
};

}  // namespace zk
