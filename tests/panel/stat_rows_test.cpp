#include <gtest/gtest.h>

#include <vector>

#include "panel/stat_rows.h"

using namespace zk;

namespace {

const std::wstring kPage1000 =
    L"{Статистика}{360|360}{Программа загрузки заказов работает независимо от редактора и центра управления. Вы можете "
    L"закрыть эти приложения - программа загрузки продолжит работу.|CURRENT_TASK|TASKS_QUEUED|TASKS_SENT|FILES_QUEUED|"
    L"FILES_SENT|QUEUE_SIZE|KBYTES_SENT|DEADLINE_FORECAST|ERRORS_COUNT|LAST_ERROR}";

std::vector<std::wstring> VisibleKeys(CStatRows& rows) {
    std::vector<std::wstring> v;
    for (auto* e = rows.Rows().First(); e; e = e->next)
        if (e->visible) v.push_back(e->key.empty() ? L"<text>" : e->key);
    return v;
}

}  // namespace

TEST(StatRows, DisplayListOrderAndAttributes) {
    CStatRows rows;
    rows.EnterDisplayList();
    ASSERT_EQ(rows.Rows().Count(), 29 + static_cast<int>(CStatRows::kQueueRows));
    EXPECT_EQ(rows.Rows().First()->key, L"AUTH_STATUS");
    EXPECT_EQ(rows.lastError.next->key, L"QUEUE_1") << "the queue's rows after the 29";
    EXPECT_EQ(rows.lastError.kind, kRowTextBlock);
    EXPECT_EQ(rows.authStatus.Value(), L"не выполнена");
    EXPECT_EQ(rows.authTimeout.ValueAlign(), kAlignRight);
    EXPECT_TRUE(rows.auditPath.TrimsPath()) << "path trimming";
    std::vector<std::wstring> editable;
    for (auto* e : rows.EditableVisibleRows()) editable.push_back(e->key);
    EXPECT_EQ(editable, (std::vector<std::wstring>{L"AUTH_TIMEOUT", L"AUTH_URL", L"USER_NAME", L"USER_PASSWD", L"FILE_TYPES",
                                                   L"AUDIT_PATH", L"LOGS_PATH", L"UPLOAD_CHUNK_SIZE", L"NOTIFY_DONE"}));
    EXPECT_EQ(rows.FindByKey(L"current_task"), &rows.currentTask);
    EXPECT_EQ(rows.FindByKey(L"nope"), nullptr);
    // Emptying the display list spares the rows.
    rows.Rows().Empty();
    EXPECT_EQ(rows.uid.key, L"UID");
}

TEST(StatRows, PagesFromResources) {
    CStatRows rows;
    rows.EnterDisplayList();
    ASSERT_TRUE(rows.AddPage(kPage1000));
    EXPECT_FALSE(rows.AddPage(L"{T}{360}{body}")) << "size without a bar";
    EXPECT_FALSE(rows.AddPage(L"{T}{a|b}{body}"));
    EXPECT_FALSE(rows.AddPage(L"{T}{1|2}"));
    ASSERT_EQ(rows.PageCount(), 1);
    EXPECT_EQ(rows.Pages().First()->value, L"Статистика");

    const PageSize p = rows.ShowPage(1);
    EXPECT_EQ(p.width, 360);
    EXPECT_EQ(p.height, 360);
    EXPECT_EQ(p.title, L"Статистика");
    EXPECT_EQ(rows.CurrentPage(), 1);
    EXPECT_EQ(VisibleKeys(rows), (std::vector<std::wstring>{L"<text>", L"CURRENT_TASK", L"TASKS_QUEUED", L"TASKS_SENT",
                                                            L"FILES_QUEUED", L"FILES_SENT", L"QUEUE_SIZE", L"KBYTES_SENT",
                                                            L"DEADLINE_FORECAST", L"ERRORS_COUNT", L"LAST_ERROR"}));
    EXPECT_EQ(rows.Rows().First()->kind, kRowTextBlock);
    EXPECT_EQ(rows.Rows().Count(), 43) << "one text block made for the free text";
    rows.ShowPage(0);
    rows.ShowPage(1);
    EXPECT_EQ(rows.Rows().Count(), 43) << "the text block is made once";

    const PageSize whole = rows.ShowPage(5);
    EXPECT_EQ(whole.width, 300);
    EXPECT_EQ(whole.height, 500);
    EXPECT_EQ(rows.CurrentPage(), 0);
    EXPECT_EQ(VisibleKeys(rows).size(), 30u) << "the table and the text block, not the queue's rows";
}

TEST(StatRows, LowerCaseTokensLayoutAndHitTest) {
    CStatRows rows;
    rows.EnterDisplayList();
    ASSERT_TRUE(rows.AddPage(L"{Мини}{200|100}{free text|current_task|errors_count}"));
    rows.ShowPage(1);
    EXPECT_EQ(VisibleKeys(rows), (std::vector<std::wstring>{L"<text>", L"CURRENT_TASK", L"ERRORS_COUNT"}));
    rows.Layout(10, 30, 180);
    const CZKListEntry* text = rows.Rows().First();
    EXPECT_EQ(text->labelRect.top, 37);
    EXPECT_EQ(text->labelRect.bottom, 77) << "a text block is 40 pixels high";
    EXPECT_EQ(text->labelRect.left, 13);
    EXPECT_EQ(text->valueRect.left, 100);
    EXPECT_EQ(text->valueRect.right, 187);
    EXPECT_FALSE(text->alternate);
    EXPECT_TRUE(rows.currentTask.alternate);
    EXPECT_EQ(rows.currentTask.valueRect.top, 77);
    EXPECT_EQ(rows.errorsCount.valueRect.top, 99);
    bool onValue = false;
    EXPECT_EQ(rows.HitTest(150, 80, &onValue), &rows.currentTask);
    EXPECT_TRUE(onValue);
    EXPECT_EQ(rows.HitTest(20, 100, &onValue), &rows.errorsCount);
    EXPECT_FALSE(onValue);
    EXPECT_EQ(rows.HitTest(20, 400, &onValue), nullptr);
}

TEST(StatRows, LayoutAtTwiceTheDpiAndThePageAsText) {
    CStatRows rows;
    rows.EnterDisplayList();
    ASSERT_TRUE(rows.AddPage(L"{Мини}{200|100}{free text|USER_PASSWD|current_task|errors_count}"));
    rows.ShowPage(1);
    rows.Layout(20, 60, 360, 192);
    const CZKListEntry* text = rows.Rows().First();
    EXPECT_EQ(text->labelRect.top, 60 + 14);
    EXPECT_EQ(text->labelRect.bottom, 60 + 14 + 80) << "a text block is 40 pixels high at 96 DPI";
    EXPECT_EQ(text->labelRect.left, 26);
    EXPECT_EQ(text->valueRect.right, 20 + 360 - 6);
    EXPECT_EQ(rows.userPasswd.valueRect.bottom - rows.userPasswd.valueRect.top, 44);
    EXPECT_EQ(rows.errorsCount.valueRect.top, 60 + 14 + 80 + 44 + 44);

    rows.userPasswd.SetValue(L"secret");
    rows.currentTask.SetValue(L"Заказ 17");
    rows.errorsCount.SetValue(L"2");
    EXPECT_EQ(rows.PageText(), L"Пароль\t*****\r\nТекущее задание\tЗаказ 17\r\nКол-во ошибок\t2\r\n")
        << "one line per row of the page in its order, the free text left out, the password masked";
}

TEST(StatRows, ThePageListingRowsAndTheProgramsOwnNotice) {
    CStatRows rows;
    rows.EnterDisplayList();
    ASSERT_TRUE(rows.AddPage(kPage1000));
    ASSERT_TRUE(rows.AddPage(L"{Настройки}{420|440}{Щёлкните значение.|AUDIT_PATH|logs_path|LAST_ERROR}"));
    EXPECT_EQ(rows.PageWith({L"LAST_ERROR"}), 1) << "the first page that lists it";
    EXPECT_EQ(rows.PageWith({L"LOGS_PATH", L"LAST_ERROR"}), 2) << "every key, ignoring case";
    EXPECT_EQ(rows.PageWith({L"AUDIT"}), 0) << "whole tokens only";
    EXPECT_EQ(rows.PageWith({L"UID"}), 0);

    // A notice leaves with ClearNotice only while the row still shows it.
    rows.ShowNotice(L"Папка заказов не найдена: D:\\x.UPLOAD");
    EXPECT_EQ(rows.lastError.Value(), L"Папка заказов не найдена: D:\\x.UPLOAD");
    rows.ClearNotice();
    EXPECT_EQ(rows.lastError.Value(), L"");
    rows.ShowNotice(L"refused");
    rows.lastError.SetValue(L"Сервер не отвечает");  // the session's error since
    rows.ClearNotice();
    EXPECT_EQ(rows.lastError.Value(), L"Сервер не отвечает");
    rows.ClearNotice();
    EXPECT_EQ(rows.lastError.Value(), L"Сервер не отвечает") << "no notice, nothing to take away";
}
