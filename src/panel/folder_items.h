// The tray menu's two folder items, which open the journals' and the orders' folder in the
// file manager: their menu identifiers and texts, and what the last-error row says when a
// folder cannot be shown.
#pragma once
#include <optional>
#include <string>

namespace zk {

enum class FolderItem { kJournals, kOrders };

// Far above any page index (pages are 1, 2, ... and the exit item is 0).
inline constexpr unsigned kMenuOpenJournals = 0xE001;
inline constexpr unsigned kMenuOpenOrders = 0xE002;

[[nodiscard]] std::optional<FolderItem> FolderItemOf(unsigned menuId);
[[nodiscard]] unsigned MenuIdOf(FolderItem item);
[[nodiscard]] std::wstring MenuTextOf(FolderItem item);
// The folder does not exist (or is no folder).
[[nodiscard]] std::wstring FolderMissingText(FolderItem item, const std::wstring& folder);
// The folder is there, but the file manager could not be started on it.
[[nodiscard]] std::wstring FolderNotOpenedText(FolderItem item, const std::wstring& folder);

}  // namespace zk
