// Native twin: there are no shell links, so nothing resolves and nothing is created.
#include "intake/shortcut.h"

namespace zk {

namespace {
constexpr int32_t kNotImplemented = static_cast<int32_t>(0x80004001);  // E_NOTIMPL
}

int32_t ResolveShortcut(const std::wstring&, ShortcutInfo& info) {
    info = ShortcutInfo{};
    return kNotImplemented;
}

int32_t CreateShortcut(const std::wstring&, const std::wstring&) { return kNotImplemented; }

}  // namespace zk
