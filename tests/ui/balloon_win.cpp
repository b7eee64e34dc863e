// The balloon window, its tray notifications, its pages, its in-place editor and its drop target
// under Wine and Xvfb: messages posted to the real windows of a started window object, whose
// agent works against a reference service. Pixels are read back from the screen.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cwchar>
#include <functional>
#include <thread>
#include <vector>

#include "base/fsys.h"
#include "base/path.h"
#include "base/win_handles.h"
#include "refserver/ref_service.h"
#include "support/test_util.h"
#include "ui/balloon_fixture_win.h"
#include "ui/drop_target_win.h"
#include "ui/file_list_win.h"

using namespace zk;
using namespace std::chrono_literals;

using namespace zk::test;

namespace {

// The agent's journals under `logs`, for a failure's message.
std::string Journals(const std::wstring& logs) {
    std::string out;
    std::vector<DirEntry> files;
    const std::wstring todo = JoinPath(logs, L"_LOGS.UPLOADER.TODO");
    if (ListFolder(todo, L"*.log", files) == ListResult::Ok)
        for (const DirEntry& f : files) out += test::ReadFile(JoinPath(todo, f.name));
    return out.empty() ? "no journal" : out;
}

}  // namespace

TEST_F(Balloon, TrayClickShowsAPageTheMenuSwitchesPagesTheCloseBoxHides) {
    EXPECT_FALSE(IsWindowVisible(balloon)) << "not shown at start when the resources say so";
    Select();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(balloon) != FALSE; }));
    EXPECT_EQ(Rows().CurrentPage(), 1);
    const auto S = [&](int length) { return ScaleToDpi(length, window.Balloon()->Frame().dpi); };
    EXPECT_EQ(Size().cx, S(360));
    EXPECT_EQ(Size().cy, S(360));
    EXPECT_TRUE(Rows().filesSent.visible);
    EXPECT_FALSE(Rows().userName.visible);

    // The tray menu: the pages in resource order, the pause and "send now" items, the two
    // folder items, then the exit.
    ASSERT_EQ(GetMenuItemCount(window.Tray()->Menu()), 8);
    ChoosePage(1);
    ASSERT_TRUE(PumpUntil([&] { return Rows().CurrentPage() == 2 && IsWindowVisible(balloon); }));
    EXPECT_EQ(Size().cx, S(420));
    EXPECT_EQ(Size().cy, S(462));
    EXPECT_TRUE(Rows().userName.visible);
    EXPECT_FALSE(Rows().filesSent.visible);

    // A click on the tray shows page 1 again.
    Select();
    ASSERT_TRUE(PumpUntil([&] { return Rows().CurrentPage() == 1 && IsWindowVisible(balloon); }));
    EXPECT_EQ(Size().cx, S(360));

    // The close box in the header's right corner hides it (at 96 DPI, around (345, 11)).
    const RectI close = window.Balloon()->Frame().CloseBox();
    EXPECT_TRUE(window.Balloon()->Frame().dpi != 96 || close.Contains(360 - 15, 11));
    PostMessageW(balloon, WM_LBUTTONDOWN, 0, MAKELPARAM((close.left + close.right) / 2, (close.top + close.bottom) / 2));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(balloon); }));
    EXPECT_TRUE(IsWindow(balloon)) << "hidden, not destroyed";
}

TEST_F(Balloon, ThePaintedHeaderAndAlertColour) {
    Select();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(balloon) != FALSE; }));
    UpdateWindow(balloon);
    PumpUntil([] { return false; }, 300ms);
    {
        const Screenshot shot(balloon);
        EXPECT_EQ(shot.At(180, 3), 0xAAAAAAu) << "the grey header band at the top";
        EXPECT_EQ(shot.At(20, 325), 0xE6E6E6u) << "the table's background below the rows";
        EXPECT_FALSE(shot.AnyRedIn(Rows().errorsCount.valueRect)) << "no alert yet";
    }
    Rows().errorsCount.SetValue(L"3");
    Rows().errorsCount.alert = true;
    window.InvalidateTable();
    UpdateWindow(balloon);
    PumpUntil([] { return false; }, 300ms);
    const Screenshot shot(balloon);
    EXPECT_TRUE(shot.AnyRedIn(Rows().errorsCount.valueRect)) << "an alert value is drawn in red";
    EXPECT_FALSE(shot.AnyRedIn(Rows().filesSent.valueRect));
}

TEST_F(Balloon, EditorTabWrapsEnterCommitsEscapeCancelsThePasswordShowsStars) {
    ChoosePage(1);
    ASSERT_TRUE(PumpUntil([&] { return Rows().CurrentPage() == 2 && IsWindowVisible(balloon); }));
    HWND edit = window.Balloon()->Editor().Handle();

    ClickValueOf(Rows().userName);
    ASSERT_EQ(Editing(), &Rows().userName);
    EXPECT_TRUE(IsWindowVisible(edit));
    wchar_t text[256] = {};
    GetWindowTextW(edit, text, 256);
    EXPECT_STREQ(text, L"loader");
    EXPECT_EQ(SendMessageW(edit, EM_GETPASSWORDCHAR, 0, 0), 0);

    // Tab walks the editable rows of the page in order and wraps; Shift+Tab walks back.
    Key(VK_TAB);
    ASSERT_EQ(Editing(), &Rows().userPasswd);
    EXPECT_EQ(SendMessageW(edit, EM_GETPASSWORDCHAR, 0, 0), L'*') << "the password is shown as stars";
    for (CZKListEntry* next : {&Rows().logsPath, &Rows().fileTypes, &Rows().auditPath, &Rows().uploadChunkSize, &Rows().authTimeout,
                                 &Rows().notifyDone}) {
        Key(VK_TAB);
        EXPECT_EQ(Editing(), next) << "the rows in the order of the page";
        EXPECT_EQ(SendMessageW(edit, EM_GETPASSWORDCHAR, 0, 0), 0) << "stars only for the password";
    }
    Key(VK_TAB);
    EXPECT_EQ(Editing(), &Rows().authUrl) << "wrapped to the first";
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    Key(VK_TAB);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(Editing(), &Rows().notifyDone) << "Shift+Tab wrapped back to the last";

    // Escape cancels: neither the row nor the registry changes.
    ClickValueOf(Rows().userName);
    ASSERT_EQ(Editing(), &Rows().userName);
    SetWindowTextW(edit, L"somebody");
    Key(VK_ESCAPE);
    EXPECT_EQ(Editing(), nullptr);
    EXPECT_FALSE(IsWindowVisible(edit));
    EXPECT_EQ(Rows().userName.Value(), L"loader");
    EXPECT_EQ(GetValue(key, L"UserName"), L"loader");

    // Enter commits through the settings writer: trimmed, into the row and the registry.
    ClickValueOf(Rows().authTimeout);
    ASSERT_EQ(Editing(), &Rows().authTimeout);
    SetWindowTextW(edit, L" 90 ");
    Key(VK_RETURN);
    EXPECT_EQ(Editing(), nullptr);
    EXPECT_EQ(Rows().authTimeout.Value(), L"90");
    EXPECT_EQ(GetValue(key, L"AuthInterval"), L"90");
    EXPECT_EQ((*window.Agent()).AuthInterval(), 90);

    // Hiding the window closes an open editor without committing.
    ClickValueOf(Rows().userName);
    SetWindowTextW(edit, L"nobody");
    ShowWindow(balloon, SW_HIDE);
    EXPECT_EQ(Editing(), nullptr);
    EXPECT_EQ(GetValue(key, L"UserName"), L"loader");
}

TEST_F(Balloon, DropCountsGoUpAndBackDownAndTheFilesAreSent) {
    const std::wstring source = root / L"photos";
    ASSERT_TRUE(CreateFolder(source));
    const std::wstring a = JoinPath(source, L"a.jpg"), b = JoinPath(source, L"b.jpg"), c = JoinPath(source, L"c.txt");
    test::WriteFile(a, "AAAA");
    test::WriteFile(b, "BBBBBB");
    test::WriteFile(c, "not an order file");
    test::FileList files({a, b, c});

    ComPtr<IDropTarget> target(new CZKDropTarget(window.Drops(), balloon));
    DWORD effect = DROPEFFECT_COPY;
    ASSERT_EQ(target->DragEnter(&files, 0, {10, 10}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(window.Drops()->Pending(), 3);
    target->DragLeave();
    EXPECT_EQ(window.Drops()->Pending(), 0) << "a drag that leaves takes its count back";

    effect = DROPEFFECT_COPY;
    target->DragEnter(&files, 0, {10, 10}, &effect);
    EXPECT_EQ(window.Drops()->Pending(), 3);
    ASSERT_EQ(target->Drop(&files, 0, {10, 10}, &effect), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return window.Drops()->Pending() == 0; })) << "counted down file by file";
    target.reset();

    // The two accepted files arrive at the service; the sources are the user's and stay.
    ASSERT_TRUE(PumpUntil([&] {
        int n = 0;
        for (auto& r : service.Received()) n += FileNamePart(r.partFileName) == L"a.jpg" || FileNamePart(r.partFileName) == L"b.jpg";
        return n == 2;
    }, 120s)) << Journals(logs);
    for (auto& r : service.Received()) EXPECT_NE(FileNamePart(r.partFileName), L"c.txt");
    EXPECT_TRUE(PathExists(a));
    EXPECT_TRUE(PathExists(b));
}

TEST_F(Balloon, ANewShellGetsTheTrayIconAgain) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof(nid);
    nid.hWnd = main;
    nid.uID = 0;
    nid.uFlags = NIF_TIP;
    wcscpy(nid.szTip, L"probe");
    ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &nid)) << "the icon is there after start-up";
    // What a shell that ends and starts again leaves: no icon of ours in its tray.
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &nid));
    ASSERT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &nid));
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    ASSERT_NE(taskbarCreated, 0u);
    PostMessageW(HWND_BROADCAST, taskbarCreated, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE; }, 10s)) << "added again";
    // And it still answers clicks.
    Select();
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(balloon) != FALSE; }));
}
