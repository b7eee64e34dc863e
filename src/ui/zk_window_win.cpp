// The program's window object: entry, start-up, what the icon and the menu do, and shutdown.
// Thread: everything here runs on the main thread except InvalidateTable() and TrayStateChanged(),
// which workers call (they only post).
#include "ui/zk_window_win.h"

#include "ui/gdiplus_include.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/res/resource_ids.h"
#include "app/string_resources.h"
#include "base/fsys.h"

namespace zk {
namespace {

std::wstring Resource(unsigned id, const wchar_t* fallback = L"") {
    std::wstring s;
    return LoadResourceString(id, s) ? s : std::wstring(fallback);
}

}  // namespace

CZKWindow::CZKWindow() : CZKWindow(m_systemClock) {}

CZKWindow::CZKWindow(const IClock& clock) : m_clock(clock) {}

CZKWindow::~CZKWindow() { ShutDown(); }

int CZKWindow::Run(HINSTANCE instance) {
    std::wstring agentClass = m_agentClass;
    LoadResourceString(IDS_AGENT_CLASS, agentClass);
    if (HWND running = FindWindowW(agentClass.c_str(), kMainTitle)) {
        // The running agent may bring its balloon to the front only if we, the foreground
        // process, allow it.
        DWORD pid = 0;
        GetWindowThreadProcessId(running, &pid);
        if (pid) AllowSetForegroundWindow(pid);
        SendMessageW(running, kWakeMessage, 0, 0);
        return 0;
    }
    if (!BuildFrame(instance, agentClass)) return 1;
    if (!StartUp()) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

bool CZKWindow::BuildFrame(HINSTANCE instance, const std::wstring& agentClass) {
    m_instance = instance;
    m_agentClass = agentClass;
    m_store = std::make_unique<CRegistrySettingsStore>(m_agentClass);
    m_agent = std::make_unique<CAgent>(m_clock, *m_store, this);
    m_tray = std::make_unique<TrayIcon>(static_cast<ITrayOwner&>(*this), m_agent->TrayStatus(), *m_shell);
    m_drops = std::make_unique<DropIntake>(*m_agent, m_clock);
    m_balloon = std::make_unique<BalloonWindow>(*m_agent, *m_tray, *m_drops);
    return CreateMainWindow();
}

bool CZKWindow::CreateMainWindow() {
    if (!m_tray->Create(m_instance, m_agentClass)) return false;
    m_balloon->ShowPage(0);
    for (unsigned id = IDS_PAGE_FIRST;; ++id) {
        std::wstring text;
        if (!LoadResourceString(id, text)) break;
        if (!m_agent->Rows().AddPage(text)) {
            MessageBoxW(m_tray->Handle(), L"Не верные данные в ресурсах", L"Ошибка", MB_ICONERROR);
            return false;
        }
        m_tray->AppendMenuItem(static_cast<UINT>(m_agent->Rows().PageCount()), m_agent->Rows().Pages().Last()->value);
    }
    // The pause items, then the folder items, between the pages and the exit item.
    m_tray->AppendSendingItems(m_agent->PausedUntil().has_value());
    for (FolderItem item : {FolderItem::kJournals, FolderItem::kOrders}) m_tray->AppendMenuItem(MenuIdOf(item), MenuTextOf(item));
    m_tray->AppendMenuItem(0, std::wstring(L"Выход") + std::wstring(29, L' '));

    m_clockThread = std::make_unique<CAuditThread>(
        m_clock, CAuditThread::Hooks{[this] { m_agent->RotateJournal(); }, [this] { m_agent->RequestReauthentication(); },
                                     [this] { return m_agent->AuthInterval(); },
                                     [this] {
                                         m_agent->EndPauseWhenDue();
                                         m_agent->NotifyWhenDue();
                                     }});
    m_clockThread->Start();
    return true;
}

bool CZKWindow::StartUp() {
    m_com.emplace();
    m_ole.emplace();
    if (FAILED(m_com->Result()) || FAILED(m_ole->Result())) return false;
    if (!m_balloon->Create(m_instance, m_tray->Handle())) return false;
    m_drops->Start(m_balloon->Handle());
    m_gdiplus = std::make_unique<ScopedGdiplus>();
    if (m_gdiplus->Started()) m_balloon->EnablePainting();

    AgentResources res;
    res.agentClass = m_agentClass;
    res.version = Resource(IDS_VERSION, L"1.0");
    m_balloon->SetVersion(res.version);
    res.showAtStart = Resource(IDS_SHOW_AT_START);
    res.authUrl = Resource(IDS_AUTH_URL);
    res.userName = Resource(IDS_USER_NAME);
    res.password = Resource(IDS_PASSWORD);
    res.fileTypes = Resource(IDS_FILE_TYPES);
    res.chunkSize = Resource(IDS_CHUNK_SIZE);
    res.authTimeout = Resource(IDS_AUTH_TIMEOUT);
    if (!m_agent->StartUp(res, ModuleFolder())) return false;
    m_balloon->PlaceAboveTray();
    m_balloon->Relayout(true);
    if (_wcsicmp(res.showAtStart.c_str(), L"true") == 0) {
        m_balloon->ShowPage(1);
        if (!m_balloon->IsVisible()) m_balloon->Show();
    }
    return true;
}

void CZKWindow::ShutDown() {
    if (m_shutDown) return;
    m_shutDown = true;
    // The hidden window's end stops the clock; after a failed start-up it still runs, and its
    // hooks call the agent, which goes below.
    StopClock();
    if (m_balloon) m_balloon->ReleasePictures();
    m_gdiplus.reset();
    if (m_agent) m_agent->ShutDown();  // journal line, then session, splitter, audit
    if (m_drops) m_drops->Stop();      // a drop in progress is completed first
    if (m_balloon) m_balloon->Destroy();
    if (m_tray) m_tray->Destroy();  // the icon leaves the tray even after a failed start-up
    m_drops.reset();
    m_balloon.reset();
    m_tray.reset();
    m_agent.reset();
    m_ole.reset();
    m_com.reset();
}

void CZKWindow::StopClock() {
    if (!m_clockThread) return;
    m_clockThread->StopAndWait();
    m_clockThread.reset();
}

void CZKWindow::InvalidateTable() {
    if (m_balloon) m_balloon->InvalidateTable();
}

void CZKWindow::TrayStateChanged() {
    if (m_tray) m_tray->StateChanged();
}

// ---- what the icon and the menu do ----

void CZKWindow::OnIconSelected() {
    if (m_balloon->IsVisible() && m_balloon->CurrentPage() != 1) m_balloon->Hide();
    m_balloon->ShowPage(1);
    SetForegroundWindow(m_balloon->Handle());
    if (!m_balloon->IsVisible()) m_balloon->Show();
}

void CZKWindow::OnMenuOpening() {
    if (m_balloon->IsVisible()) m_balloon->Hide();
    m_tray->SetPaused(m_agent->PausedUntil().has_value());
}

void CZKWindow::OnSendingChosen(unsigned id) {
    if (const std::optional<PauseChoice> choice = PauseChoiceOf(id)) {
        const int64_t now = m_clock.Now();
        m_agent->PauseSending(PauseEnd(*choice, now, m_clock.Local(now)));
    } else if (id == kMenuResume) {
        m_agent->ResumeSending();
    } else if (id == kMenuSendNow) {
        m_agent->SendNow();
    }
}

void CZKWindow::OnPageChosen(int page) {
    if (m_balloon->IsVisible()) m_balloon->Hide();
    m_balloon->ShowPage(page);
    if (!m_balloon->IsVisible()) m_balloon->Show();
    SetForegroundWindow(m_balloon->Handle());
}

void CZKWindow::OnExitChosen() {
    // The upload stops first: tearing down the windows and the tray icon took 2 s under Wine,
    // and an upload going on meanwhile would put seconds more of a body on a slow line.
    if (m_agent) m_agent->RequestStop();
    m_tray->Destroy();  // the balloon and its editor are its own: they go with it
}

void CZKWindow::OnSecondStart() {
    const bool wasVisible = m_balloon->IsVisible();
    if (!wasVisible) m_balloon->ShowPage(1);
    SetForegroundWindow(m_balloon->Handle());
    if (!wasVisible) m_balloon->Show();
}

void CZKWindow::ShowNotification(const Notification& notification) {
    if (m_tray) m_tray->ShowNotification(notification);
}

void CZKWindow::OnNotificationClicked(const std::vector<std::wstring>& pageKeys) {
    const int page = m_agent->Rows().PageWith(pageKeys);
    OnPageChosen(page > 0 ? page : 1);
}

void CZKWindow::OnIconAddedAgain() {
    if (m_balloon->CurrentPage() > 0) m_balloon->Relayout(m_balloon->PlaceAboveTray());
}

void CZKWindow::OnMainDestroyed() { StopClock(); }

}  // namespace zk
