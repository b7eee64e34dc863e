#include <gtest/gtest.h>

#include "ui/folder_items.h"

using namespace zk;

TEST(FolderItems, IdentifiersAndTexts) {
    for (FolderItem item : {FolderItem::kJournals, FolderItem::kOrders}) {
        EXPECT_EQ(FolderItemOf(MenuIdOf(item)), item);
        EXPECT_GT(MenuIdOf(item), 1000u) << "clear of every page index";
    }
    EXPECT_EQ(FolderItemOf(0), std::nullopt) << "the exit item";
    EXPECT_EQ(FolderItemOf(2), std::nullopt) << "a page";
    EXPECT_EQ(MenuTextOf(FolderItem::kJournals), L"Открыть папку журналов");
    EXPECT_EQ(MenuTextOf(FolderItem::kOrders), L"Открыть папку заказов");
    EXPECT_EQ(FolderMissingText(FolderItem::kOrders, L"D:\\x.UPLOAD"), L"Папка заказов не найдена: D:\\x.UPLOAD");
    EXPECT_EQ(FolderNotOpenedText(FolderItem::kJournals, L"C:\\logs"), L"Не удалось открыть папку журналов: C:\\logs");
}
