// Unicode text onto the clipboard.
#pragma once
#include <windows.h>

#include <string>

namespace zk {

// Replaces the clipboard's contents with `text`; false when the clipboard is held elsewhere.
bool CopyTextToClipboard(HWND owner, const std::wstring& text);

}  // namespace zk
