#include "ui/clipboard_win.h"

#include <cstring>

#include "base/win_handles.h"

namespace zk {
namespace {

// The clipboard opened for one change, closed on scope exit.
class OpenClipboardScope {
public:
    explicit OpenClipboardScope(HWND owner) : m_open(OpenClipboard(owner) != FALSE) {}
    ~OpenClipboardScope() {
        if (m_open) CloseClipboard();
    }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
    [[nodiscard]] bool IsOpen() const { return m_open; }

private:
    bool m_open;
};

}  // namespace

bool CopyTextToClipboard(HWND owner, const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    UniqueHglobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory) return false;
    void* p = GlobalLock(memory.get());
    if (!p) return false;
    std::memcpy(p, text.c_str(), bytes);
    GlobalUnlock(memory.get());
    OpenClipboardScope clipboard(owner);
    if (!clipboard.IsOpen() || !EmptyClipboard()) return false;
    if (!SetClipboardData(CF_UNICODETEXT, memory.get())) return false;
    (void)memory.release();  // the clipboard owns it now
    return true;
}

}  // namespace zk
