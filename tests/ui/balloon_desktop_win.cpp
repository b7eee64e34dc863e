// The balloon as a desktop program: the tray's version-4 messages, the keyboard, the clipboard,
// the icon's look following the session and the pause, a shell that is not ready at log-on, and
// the place the shell gives for the icon.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "base/local_time.h"
#include "ui/balloon_fixture_win.h"

using namespace zk;
using namespace zk::test;

namespace {

// The text on the clipboard, or empty.
std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
            text = p;
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return text;
}

void SetKey(int vk, bool down) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[vk] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

// Where the popup menu opened: read from inside its modal loop by a timer, which then ends it.
RECT g_menuRect{};
void CALLBACK ReadMenuAndEndIt(HWND, UINT, UINT_PTR id, DWORD) {
    if (HWND menu = FindWindowW(L"#32768", nullptr); menu && IsWindowVisible(menu)) {
        GetWindowRect(menu, &g_menuRect);
        KillTimer(nullptr, id);
        EndMenu();
    }
}

}  // namespace

TEST_F(Balloon, KeyboardSelectionTheMenuAtItsAnchorEscapeAndCopy) {
    const auto calls = shell.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(calls[1].message, static_cast<DWORD>(NIM_SETVERSION));
    EXPECT_EQ(calls[1].version, static_cast<UINT>(NOTIFYICON_VERSION_4));

    // Enter on the focused icon shows page 1; a plain button message is left to NIN_SELECT.
    PostMessageW(main, kTrayMessage, 0, MAKELPARAM(WM_LBUTTONUP, 0));
    PumpUntil([] { return false; }, 200ms);
    EXPECT_FALSE(IsWindowVisible(balloon)) << "a version-4 click acts once, on NIN_SELECT";
    Select(NIN_KEYSELECT);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(balloon) != FALSE; }));
    EXPECT_EQ(Rows().CurrentPage(), 1);
    wchar_t text[256] = {};
    GetWindowTextW(balloon, text, 256);
    EXPECT_EQ(std::wstring(text), window.Balloon()->Caption()) << "a screen reader names the balloon by its caption";
    EXPECT_EQ(std::wstring(text).rfind(L"Статистика [v3.40 b2.00]", 0), 0u);

    // Ctrl+C: the page's rows as label TAB value lines.
    Rows().filesSent.SetValue(L"12");
    SetKey(VK_CONTROL, true);
    SendMessageW(balloon, WM_KEYDOWN, 'C', 0);
    SetKey(VK_CONTROL, false);
    const std::wstring copied = ClipboardText();
    EXPECT_NE(copied.find(L"Файлов отправлено\t12\r\n"), std::wstring::npos) << copied;
    EXPECT_EQ(copied, Rows().PageText());
    EXPECT_EQ(copied.find(L"Текст страницы."), std::wstring::npos) << "the free text is no figure";

    // Escape with no editor open hides the balloon.
    SendMessageW(balloon, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(IsWindowVisible(balloon));

    // The context menu opens at the anchor the shell gives, not at the mouse; the balloon goes.
    Select();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(balloon) != FALSE; }));
    g_menuRect = {};
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadMenuAndEndIt);
    PostMessageW(main, kTrayMessage, MAKEWPARAM(300, 400), MAKELPARAM(WM_CONTEXTMENU, 0));
    ASSERT_TRUE(PumpUntil([&] { return g_menuRect.right > g_menuRect.left; }, 10s)) << "the menu opened";
    KillTimer(nullptr, timer);
    EXPECT_EQ(g_menuRect.left, 300);
    EXPECT_EQ(g_menuRect.top, 400);
    EXPECT_FALSE(IsWindowVisible(balloon));
    ASSERT_TRUE(PumpUntil([&] {
        for (const auto& c : shell.Calls())
            if (c.message == NIM_SETFOCUS) return true;
        return false;
    })) << "focus goes back to the notification area when the menu closes";
}

// The pause items: a length pauses the sending (the icon and its tip say until when), the menu
// then offers to resume, and resuming sends again.
TEST_F(Balloon, ThePauseItemsPauseTheSendingTheMenuThenResumesIt) {
    const HMENU menu = window.Tray()->Menu();
    const auto text = [](HMENU m, int position) {
        wchar_t t[128] = {};
        GetMenuStringW(m, static_cast<UINT>(position), t, 128, MF_BYPOSITION);
        return std::wstring(t);
    };
    ASSERT_EQ(text(menu, 3), L"Приостановить отправку");
    EXPECT_EQ(text(menu, 4), L"Отправить сейчас");
    const HMENU lengths = GetSubMenu(menu, 3);
    ASSERT_NE(lengths, nullptr);
    ASSERT_EQ(GetMenuItemCount(lengths), 4);
    EXPECT_EQ(text(lengths, 0), L"на 15 минут");
    EXPECT_EQ(text(lengths, 3), L"до возобновления");

    SendMessageW(main, WM_MENUCOMMAND, 1, reinterpret_cast<LPARAM>(lengths));  // "на 1 час"
    const std::optional<int64_t> until = window.Agent()->PausedUntil();
    ASSERT_TRUE(until);
    EXPECT_NEAR(static_cast<double>(*until - NowSeconds()), 3600.0, 5.0);
    EXPECT_TRUE(window.Agent()->Session()->Paused());
    const auto pausedIcon = [&] {
        for (const auto& c : shell.Calls())
            if (c.message == NIM_MODIFY && c.icon == window.Tray()->IconFor(TrayLook::kPaused) &&
                c.tip.find(L"\nОтправка приостановлена до ") != std::wstring::npos)
                return true;
        return false;
    };
    ASSERT_TRUE(PumpUntil(pausedIcon)) << "the fourth look, and until when in the tip";
    EXPECT_NE(window.Tray()->IconFor(TrayLook::kPaused), window.Tray()->IconFor(TrayLook::kIdle));

    // The menu as it opens now offers to resume instead.
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadMenuAndEndIt);
    g_menuRect = {};
    PostMessageW(main, kTrayMessage, MAKEWPARAM(300, 400), MAKELPARAM(WM_CONTEXTMENU, 0));
    ASSERT_TRUE(PumpUntil([&] { return g_menuRect.right > g_menuRect.left; }, 10s));
    KillTimer(nullptr, timer);
    EXPECT_EQ(text(menu, 3), L"Возобновить отправку");
    EXPECT_EQ(GetSubMenu(menu, 3), nullptr);
    SendMessageW(main, WM_MENUCOMMAND, 3, reinterpret_cast<LPARAM>(menu));
    EXPECT_FALSE(window.Agent()->PausedUntil());
    EXPECT_FALSE(window.Agent()->Session()->Paused());
}

// The queue page: the orders in the order they came, what each waits for, the rest counted;
// Ctrl+C copies it as it does the other pages.
TEST_F(Balloon, TheQueuePageListsTheOrdersInTheirOrderAndCopiesThem) {
    window.Agent()->PauseSending(kPausedUntilResumed);  // the orders stay in the queue
    ChoosePage(2);
    ASSERT_TRUE(PumpUntil([&] { return Rows().CurrentPage() == 3 && IsWindowVisible(balloon); }));
    const auto S = [&](int length) { return ScaleToDpi(length, window.Balloon()->Frame().dpi); };
    EXPECT_EQ(Size().cx, S(480));
    EXPECT_EQ(Size().cy, S(380));
    EXPECT_EQ(Rows().PageText(), L"Заказов в очереди нет\t\r\n");

    const wchar_t* names[] = {L"Иванова", L"Петров", L"Сидорова", L"Кузнецов", L"Смирнова", L"Попов", L"Васильева",
                              L"Соколов", L"Михайлова", L"Новиков", L"Фёдорова", L"Морозов", L"Волкова", L"Алексеев"};
    std::wstring expected;
    int moved = 0;
    for (const wchar_t* name : names) {
        const std::wstring staging = JoinPath(audit, std::wstring(L"TMPUPLOAD_") + name);
        ASSERT_TRUE(CreateFolder(staging));
        for (int i = 0; i < (moved == 0 ? 5 : 2); ++i) test::WriteFile(JoinPath(staging, std::to_wstring(i) + L".jpg"), std::string(1000, 'x'));
        ASSERT_TRUE(MoveFileW(staging.c_str(), JoinPath(audit, name).c_str()));
        // One at a time: a look that finds several takes them in the folder's order.
        ++moved;
        ASSERT_TRUE(PumpUntil([&] { return window.Agent()->Audit()->Registry().taskCount.load() == moved; }));
        if (moved <= 12) expected += std::wstring(name) + L"\tприостановлено\r\n";
    }
    expected += L"и ещё 2 заказа\t\r\n";
    ASSERT_TRUE(PumpUntil([&] { return Rows().PageText() == expected; })) << Narrow(Rows().PageText());

    SetKey(VK_CONTROL, true);
    SendMessageW(balloon, WM_KEYDOWN, 'C', 0);
    SetKey(VK_CONTROL, false);
    EXPECT_EQ(ClipboardText(), expected);

    // ZK_QUEUE_SHOT=<file.bmp>: the page for the README (scripts/dpi_screenshots.sh), with the first
    // order on its way to a slow server (its content list is the sixth file).
    if (const char* shot = std::getenv("ZK_QUEUE_SHOT"); shot && *shot) {
        refsrv::FaultRule slow;
        slow.target = refsrv::FaultTarget::Upload;
        slow.kind = refsrv::FaultKind::Delay;
        slow.delayMs = 3000;
        service.AddFault(slow);
        window.Agent()->ResumeSending();
        ASSERT_TRUE(PumpUntil([&] { return Rows().PageText().find(L"отправляется: 2 из ") != std::wstring::npos; }, 60s)) << Narrow(Rows().PageText());
        EXPECT_TRUE(PaintedWhole(balloon).SaveBmp(FromUtf8(shot)));
    }
}

// An order sent is told beside the icon, through the shell's own notifications; a click on one
// opens the balloon on the page it concerns.
TEST_F(Balloon, AnOrderSentIsToldBesideTheIconAndAClickOnItOpensThePage) {
    const std::wstring staging = JoinPath(audit, L"TMPUPLOAD_Иванова");
    ASSERT_TRUE(CreateFolder(staging));
    test::WriteFile(JoinPath(staging, L"a.jpg"), std::string(1000, 'x'));
    ASSERT_TRUE(MoveFileW(staging.c_str(), JoinPath(audit, L"Иванова").c_str()));
    const auto told = [&] {
        for (const auto& c : shell.Calls())
            if (c.message == NIM_MODIFY && (c.flags & NIF_INFO)) return std::optional<RecordingShell::Call>(c);
        return std::optional<RecordingShell::Call>();
    };
    ASSERT_TRUE(PumpUntil([&] { return told().has_value(); }, 60s)) << "the clock thread hands it to the icon";
    EXPECT_EQ(told()->info, L"Заказ «Иванова» отправлен: 1 файл, 1 КБ") << "the content list is the agent's, not a file of the order";
    EXPECT_EQ(told()->infoTitle, L"Заказ отправлен");
    EXPECT_FALSE(IsWindowVisible(balloon));

    PostMessageW(main, kTrayMessage, MAKEWPARAM(800, 700), MAKELPARAM(NIN_BALLOONUSERCLICK, 0));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(balloon) != FALSE; }));
    EXPECT_EQ(Rows().CurrentPage(), 1) << "the statistics";
}

namespace {

class BalloonWrongPassword : public Balloon {
protected:
    void BeforeStart() override { SetValue(key, L"Password", L"not the password"); }
    // The last icon the shell was given, with its tip.
    RecordingShell::Call LastIcon() {
        RecordingShell::Call last{};
        for (const auto& c : shell.Calls())
            if ((c.message == NIM_ADD || c.message == NIM_MODIFY) && c.icon) last = c;
        return last;
    }
    bool IconIs(TrayLook look) { return LastIcon().icon == window.Tray()->IconFor(look); }
};

}  // namespace

TEST_F(BalloonWrongPassword, TheIconShowsARefusedLoginASendingQueueAndIdle) {
    ASSERT_NE(window.Tray()->IconFor(TrayLook::kAttention), window.Tray()->IconFor(TrayLook::kIdle));
    ASSERT_NE(window.Tray()->IconFor(TrayLook::kSending), window.Tray()->IconFor(TrayLook::kIdle));
    EXPECT_EQ(LastIcon().tip, L"ZELTAVIO EXPRESS UPLOADER") << "the first tip is the program's name";
    ASSERT_TRUE(PumpUntil([&] { return IconIs(TrayLook::kAttention); }, 30s)) << "a refused login needs a person";
    EXPECT_EQ(LastIcon().tip.rfind(L"ZELTAVIO EXPRESS UPLOADER\nОшибка!", 0), 0u) << LastIcon().tip;

    // The right password through the settings writer: the login succeeds, the queue is empty.
    (*window.Agent()).Settings().CommitEdit(Rows().userPasswd, L"malvoro");
    ASSERT_TRUE(PumpUntil([&] { return IconIs(TrayLook::kIdle); }, 60s));
    EXPECT_EQ(LastIcon().tip, L"ZELTAVIO EXPRESS UPLOADER\nЗаданий в очереди: 0");

    // An order on a slow link: sending while it goes, idle once it has gone.
    refsrv::FaultRule slow;
    slow.target = refsrv::FaultTarget::Upload;
    slow.kind = refsrv::FaultKind::Throttle;
    slow.bytesPerSecond = 100000;
    service.AddFault(slow);
    const std::wstring order = JoinPath(audit, L"order 1");
    const std::wstring staging = JoinPath(audit, L"TMPUPLOAD_order 1");
    ASSERT_TRUE(CreateFolder(staging));
    test::WriteFile(JoinPath(staging, L"a.jpg"), std::string(300000, 'a'));
    test::WriteFile(JoinPath(staging, L"b.jpg"), std::string(300000, 'b'));
    ASSERT_TRUE(MoveFileW(staging.c_str(), order.c_str()));
    ASSERT_TRUE(PumpUntil([&] { return IconIs(TrayLook::kSending); }, 60s));
    EXPECT_NE(LastIcon().tip.find(L"Заданий в очереди: 1"), std::wstring::npos) << LastIcon().tip;
    ASSERT_TRUE(PumpUntil([&] { return !PathExists(order) && IconIs(TrayLook::kIdle); }, 120s));
}

namespace {

class BalloonShellNotReady : public Balloon {
protected:
    void BeforeStart() override {
        shell.refuseAdds = 2;
        // A taskbar at the bottom of the screen with the icon near its right end.
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        shell.iconRect = {work.right - 120, work.bottom - 20, work.right - 104, work.bottom - 4};
    }
};

}  // namespace

TEST_F(BalloonShellNotReady, TheIconIsAddedOnceTheShellTakesItAndTheBalloonGoesByIt) {
    ASSERT_TRUE(PumpUntil([&] {
        int adds = 0;
        for (const auto& c : shell.Calls()) adds += c.message == NIM_ADD;
        return adds >= 3;
    }, 30s)) << "asked again until the shell takes it";
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof(nid);
    nid.hWnd = main;
    nid.uFlags = NIF_TIP;
    wcscpy(nid.szTip, L"probe");
    EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &nid)) << "the icon is there now";

    Select();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(balloon) != FALSE; }));
    RECT r{};
    GetWindowRect(balloon, &r);
    const RECT icon = shell.iconRect;
    EXPECT_EQ(window.Balloon()->Frame().side, TailSide::kBottom);
    EXPECT_EQ(r.bottom, icon.top - 1) << "right above the icon";
    EXPECT_EQ(r.left, icon.left - 360 + 100) << "the tail 100 pixels from the right edge points at it";
    EXPECT_EQ(window.Balloon()->Frame().tailStart, 360 - 100);
}
