#include <windows.h>

#include <vector>

#include "app/string_resources.h"

namespace zk {

bool LoadResourceString(unsigned id, std::wstring& out) {
    // A buffer of 1024 characters, doubled while the text fills it.
    for (size_t size = 1024; size <= (1u << 20); size *= 2) {
        std::vector<wchar_t> buf(size);
        const int n = LoadStringW(GetModuleHandleW(nullptr), id, buf.data(), static_cast<int>(size));
        if (n <= 0) return false;
        if (static_cast<size_t>(n) < size - 1) {
            out.assign(buf.data(), static_cast<size_t>(n));
            return true;
        }
    }
    return false;
}

}  // namespace zk
