// Native only: the search of /proc behind IsFileLocked on file systems without leases.
#pragma once
#include <string_view>

namespace zk {
// Whether any descriptor of any process refers to the file.
bool OpenByAnyDescriptor(std::wstring_view path);
}  // namespace zk
