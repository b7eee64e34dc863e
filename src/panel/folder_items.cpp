#include "panel/folder_items.h"

namespace zk {
namespace {

// "журналов" / "заказов": the genitive that every text of an item uses.
const wchar_t* Whose(FolderItem item) { return item == FolderItem::kJournals ? L"журналов" : L"заказов"; }

}  // namespace

std::optional<FolderItem> FolderItemOf(unsigned menuId) {
    if (menuId == kMenuOpenJournals) return FolderItem::kJournals;
    if (menuId == kMenuOpenOrders) return FolderItem::kOrders;
    return std::nullopt;
}

unsigned MenuIdOf(FolderItem item) { return item == FolderItem::kJournals ? kMenuOpenJournals : kMenuOpenOrders; }

std::wstring MenuTextOf(FolderItem item) { return std::wstring(L"Открыть папку ") + Whose(item); }

std::wstring FolderMissingText(FolderItem item, const std::wstring& folder) {
    return std::wstring(L"Папка ") + Whose(item) + L" не найдена: " + folder;
}

std::wstring FolderNotOpenedText(FolderItem item, const std::wstring& folder) {
    return std::wstring(L"Не удалось открыть папку ") + Whose(item) + L": " + folder;
}

}  // namespace zk
