// The settings page and the folder items as the tray menu reaches them, on the program's own
// settings page (the tests' resources include it): its rows and their fit at the session's DPI,
// edits through the in-place editor that move the watch or are refused, and the two folder
// items with Explorer stood in for.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/fsys.h"
#include "base/path.h"
#include "support/test_util.h"
#include "ui/balloon_fixture_win.h"
#include "ui/balloon_text_win.h"

using namespace zk;
using namespace zk::test;
using namespace std::chrono_literals;

namespace {

// Menu positions of the tests' resources: three pages, the pause and "send now" items, the folder
// items, the exit.
constexpr int kSettingsPosition = 1, kJournalsPosition = 5, kOrdersPosition = 6, kExitPosition = 7;

std::wstring MenuText(HMENU menu, int position) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 128, MF_BYPOSITION);
    return text;
}

std::vector<CZKListEntry*> VisibleRows(CStatRows& rows) {
    std::vector<CZKListEntry*> v;
    for (CZKListEntry* e = rows.Rows().First(); e; e = e->next)
        if (e->visible) v.push_back(e);
    return v;
}

float Width(const RectI& r) { return static_cast<float>(r.right - r.left); }

}  // namespace

class SettingsPage : public Balloon {
protected:
    void OpenSettings() {
        ChoosePage(kSettingsPosition);
        ASSERT_TRUE(PumpUntil([&] { return Rows().CurrentPage() == 2 && IsWindowVisible(balloon); }));
    }
    // Types `text` into the row's editor and presses Enter.
    void Edit(CZKListEntry& row, const std::wstring& text) {
        ClickValueOf(row);
        ASSERT_EQ(Editing(), &row);
        SetWindowTextW(window.Balloon()->Editor().Handle(), text.c_str());
        Key(VK_RETURN);
        ASSERT_EQ(Editing(), nullptr);
    }
    bool Received(const std::wstring& name) {
        for (const auto& r : service.Received())
            if (FileNamePart(r.partFileName) == name) return true;
        return false;
    }
};

// Named for the DPI suites (ui_dpi144, ui_dpi192), which run it at 150 % and 200 %.
TEST_F(Balloon, AtTheSessionsDpiTheSettingsPageShowsItsRowsAndEveryLabelAndValueFits) {
    ChoosePage(kSettingsPosition);
    ASSERT_TRUE(PumpUntil([&] { return Rows().CurrentPage() == 2 && IsWindowVisible(balloon); }));
    const int dpi = window.Balloon()->Frame().dpi;
    EXPECT_EQ(Size().cx, ScaleToDpi(420, dpi));
    EXPECT_EQ(Size().cy, ScaleToDpi(462, dpi));
    EXPECT_EQ(window.Balloon()->Caption().rfind(L"Настройки [v", 0), 0u);

    // The explanation, the settings, the login's status and the identity, then the last error.
    CStatRows& r = Rows();
    const std::vector<CZKListEntry*> shown = VisibleRows(r);
    const std::vector<CZKListEntry*> expected{&r.authUrl,  &r.userName,        &r.userPasswd,  &r.logsPath,   &r.fileTypes,
                                              &r.auditPath, &r.uploadChunkSize, &r.authTimeout, &r.notifyDone, &r.authStatus,
                                              &r.ip,        &r.mac,             &r.uid,         &r.aid,        &r.lastError};
    ASSERT_EQ(shown.size(), expected.size() + 1);
    EXPECT_EQ(shown[0]->kind, kRowTextBlock);
    EXPECT_TRUE(shown[0]->key.empty());
    EXPECT_NE(shown[0]->value.find(L"Enter сохраняет, Esc отменяет"), std::wstring::npos);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(shown[i + 1], expected[i]) << "row " << i + 1;
    EXPECT_FALSE(r.authUserPasswd.visible) << "the upload password is never shown in clear";
    EXPECT_EQ(r.EditableVisibleRows().size(), 9u);

    // All rows inside the table area, none cut off at the bottom.
    const RectI body = window.Balloon()->Frame().Body();
    EXPECT_LE(shown.back()->valueRect.bottom, body.bottom - ScaleToDpi(balloon96::kMargin, dpi));

    // The one-line explanation on one line; every label, and the longest value each unshortened
    // row can be expected to hold, fit at 96 DPI and here. Folders are shortened in the middle.
    const float line = MeasureBalloonText(L"Ag", BalloonFont::kValue, dpi).Height;
    const float wrap = Width(shown[0]->labelRect) + Width(shown[0]->valueRect);
    EXPECT_LT(MeasureBalloonText(shown[0]->value, BalloonFont::kValue, dpi, wrap).Height, 1.5f * line);
    const std::vector<std::pair<CZKListEntry*, std::wstring>> longest{
        {&r.authUrl, L"http://auth.zeltavio.ru/ru/99"}, {&r.authUrl, r.authUrl.Value()}, {&r.userName, L"loader-workshop-12"},
        {&r.userPasswd, L"*****"},                       {&r.fileTypes, L"*.kzo,*.wrx,*.jpg,*.jpeg,*.lst"},
        {&r.uploadChunkSize, L"2047"},                   {&r.authTimeout, L"600"}, {&r.notifyDone, L"нет"}, {&r.authStatus, L"не выполнена"},
        {&r.ip, L"255.255.255.255"},                     {&r.mac, L"FFFFFFFFFFFF"}, {&r.uid, L"1234567890"}, {&r.aid, L"1234567890"}};
    for (const auto& [row, text] : longest) {
        EXPECT_LE(MeasureBalloonText(text, BalloonFont::kValue, 96).Width, Width(row->valueRect) * 96 / dpi) << "value cut at 96 DPI";
        EXPECT_LE(MeasureBalloonText(text, BalloonFont::kValue, dpi).Width, Width(row->valueRect)) << "value cut at " << dpi;
    }
    for (CZKListEntry* row : expected) {
        if (row->kind == kRowTextBlock) continue;
        EXPECT_LE(MeasureBalloonText(row->label, BalloonFont::kLabel, 96).Width, Width(row->labelRect) * 96 / dpi);
        EXPECT_LE(MeasureBalloonText(row->label, BalloonFont::kLabel, dpi).Width, Width(row->labelRect)) << "label cut at " << dpi;
    }
    EXPECT_TRUE(r.auditPath.TrimsPath() && r.logsPath.TrimsPath()) << "folders are shortened, not cut";

    // ZK_SETTINGS_SHOT=<file.bmp>: the painted page for the README (scripts/dpi_screenshots.sh).
    if (const char* shot = std::getenv("ZK_SETTINGS_SHOT"); shot && *shot) {
        // After the login, which refreshes the identity rows itself.
        PumpUntil([&] { return r.authStatus.Value() == L"выполнена"; });
        r.authUrl.SetValue(L"http://auth.zeltavio.ru/ru/99");
        r.fileTypes.SetValue(L"*.kzo,*.wrx,*.jpg,*.lst");
        r.logsPath.SetValue(L"D:\\Orders\\Журналы");
        r.auditPath.SetValue(L"D:\\Orders\\audit.UPLOAD");
        r.ip.SetValue(L"192.168.1.24");
        r.mac.SetValue(L"00155D3A7C21");
        r.lastError.SetValue(L"Интервал авторизации не изменён: нужно целое число минут от 1 до 600");
        EXPECT_TRUE(PaintedWhole(balloon).SaveBmp(FromUtf8(shot)));
    }
}

TEST_F(SettingsPage, AnEditedAuditFolderIsWatchedARefusedEditKeepsTheOldValueAndSaysWhy) {
    OpenSettings();
    // From the keyboard alone: Tab on the page opens the first setting, Escape closes it.
    SendMessageW(balloon, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(Editing(), &Rows().authUrl);
    Key(VK_ESCAPE);
    ASSERT_EQ(Editing(), nullptr);
    EXPECT_TRUE(IsWindowVisible(balloon)) << "Escape in the editor leaves the page open";
    const std::wstring moved = root / L"moved.UPLOAD";
    ASSERT_TRUE(CreateFolder(moved));

    // The audit folder: the row, the registry and the watch follow the edit.
    Edit(Rows().auditPath, moved + L"\\");
    EXPECT_EQ(Rows().auditPath.Value(), moved) << "trailing separator stripped";
    EXPECT_EQ(GetValue(key, L"AuditFolder"), moved);
    EXPECT_TRUE(PumpUntil([&] { return (*window.Agent()).Audit()->Folder() == WithTrailingSeparator(moved); }));
    // An order left in the old folder stays there; one placed in the new folder is sent.
    ASSERT_TRUE(CreateFolder(JoinPath(audit, L"old order")));
    test::WriteFile(JoinPath(JoinPath(audit, L"old order"), L"old.jpg"), "OLD");
    const std::wstring building = JoinPath(moved, L"TMPUPLOAD_new order");
    ASSERT_TRUE(CreateFolder(building));
    test::WriteFile(JoinPath(building, L"new.jpg"), "NEW PHOTO");
    ASSERT_TRUE(RenamePath(building, JoinPath(moved, L"new order")));
    ASSERT_TRUE(PumpUntil([&] { return Received(L"new.jpg"); }, 60s)) << "the order in the new folder is sent";
    EXPECT_FALSE(Received(L"old.jpg")) << "the old folder is no longer watched";
    EXPECT_TRUE(PathExists(JoinPath(JoinPath(audit, L"old order"), L"old.jpg")));

    // An interval of 0 is refused: the row, the registry and the clock keep 60, and the
    // last-error row says why.
    ASSERT_EQ(GetValue(key, L"AuthInterval"), L"60");
    Edit(Rows().authTimeout, L"0");
    EXPECT_EQ(Rows().authTimeout.Value(), L"60");
    EXPECT_EQ(GetValue(key, L"AuthInterval"), L"60");
    EXPECT_EQ((*window.Agent()).AuthInterval(), 60);
    EXPECT_EQ(Rows().lastError.Value(), L"Интервал авторизации не изменён: нужно целое число минут от 1 до 600");

    // A chunk size that is not a number likewise.
    Edit(Rows().uploadChunkSize, L"10 МБ");
    EXPECT_EQ(Rows().uploadChunkSize.Value(), L"0");
    EXPECT_EQ(GetValue(key, L"ChunkSize"), L"0");
    EXPECT_EQ(Rows().lastError.Value(), L"Макс. размер файла не изменён: нужно целое число мегабайт от 0 до 2047");

    // A good value is taken, and the refusal's message goes with it.
    Edit(Rows().authTimeout, L"15");
    EXPECT_EQ(GetValue(key, L"AuthInterval"), L"15");
    EXPECT_EQ((*window.Agent()).AuthInterval(), 15);
    EXPECT_EQ(Rows().lastError.Value(), L"");
}

TEST_F(SettingsPage, TheFolderItemsOpenTheJournalsAndOrdersFoldersOrSayWhyNot) {
    HMENU menu = window.Tray()->Menu();
    ASSERT_EQ(GetMenuItemCount(menu), 8);
    EXPECT_EQ(MenuText(menu, kJournalsPosition), L"Открыть папку журналов");
    EXPECT_EQ(MenuText(menu, kOrdersPosition), L"Открыть папку заказов");
    EXPECT_EQ(MenuText(menu, kExitPosition), L"Выход" + std::wstring(29, L' ')) << "the exit item stays last, as it was";
    EXPECT_EQ(GetMenuItemID(menu, kExitPosition), 0u);

    // Each item shows its folder: the one holding today's journal, the watched audit folder.
    ChoosePage(kJournalsPosition);
    ChoosePage(kOrdersPosition);
    const std::vector<std::wstring> expected{JoinPath(logs, L"_LOGS.UPLOADER.TODO"), audit};
    EXPECT_EQ(folders.opened, expected);
    EXPECT_EQ(FolderPart((*window.Agent()).Journal().CurrentPath()), WithTrailingSeparator(expected[0]));
    EXPECT_FALSE(IsWindowVisible(balloon)) << "Explorer opens; the balloon stays away";

    // An audit folder that does not exist (yet): not opened; the last-error row says so, on
    // the page where the folder can be put right.
    const std::wstring missing = root / L"nowhere.UPLOAD";
    ASSERT_TRUE((*window.Agent()).Settings().Write(Rows().auditPath, missing));
    ChoosePage(kOrdersPosition);
    EXPECT_EQ(folders.opened.size(), 2u);
    EXPECT_EQ(Rows().lastError.Value(), L"Папка заказов не найдена: " + missing);
    EXPECT_TRUE(PumpUntil([&] { return Rows().CurrentPage() == 2 && IsWindowVisible(balloon); }));
    EXPECT_TRUE(Rows().auditPath.visible && Rows().lastError.visible);

    // Explorer refusing a folder that is there is said as well; a later success takes it away.
    folders.refuse = true;
    ChoosePage(kJournalsPosition);
    EXPECT_EQ(Rows().lastError.Value(), L"Не удалось открыть папку журналов: " + expected[0]);
    folders.refuse = false;
    ChoosePage(kJournalsPosition);
    EXPECT_EQ(folders.opened.size(), 4u);
    EXPECT_EQ(Rows().lastError.Value(), L"");
}
