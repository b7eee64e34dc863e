// String resources of the running module (Windows).
#pragma once
#include <string>

namespace zk {
// Loads string resource `id`; true when the text is not empty.
bool LoadResourceString(unsigned id, std::wstring& out);
}  // namespace zk
