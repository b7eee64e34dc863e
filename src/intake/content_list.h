// Content lists: "_content_<time>.lst" in an order folder naming, one full path a line, every
// file the folder audit found. UTF-8 with byte-order mark, CR LF after every line.
#pragma once
#include <string>

namespace zk {

enum ContentListResult { kListFailed = 0, kListWritten = 1, kListExists = 2, kListNoFolder = 3 };

// False only when the search finds no "_content_*.lst"; true when one exists and also when the
// search fails for another reason.
bool HasContentList(const std::wstring& taskPath);
// Writes `listText` (paths each followed by "\n") into the order folder `taskPath` (ending with
// a separator). `listPath` is set only with kListWritten. A partly written file stays.
ContentListResult WriteContentList(const std::wstring& taskPath, const std::wstring& listText, std::wstring& listPath);
// "_content_%d.lst" for a time: the low 32 bits of the seconds, signed.
std::wstring ContentListName(long long secondsSince1970);

}  // namespace zk
