#include "tasks/machine_identity.h"

namespace zk {

std::wstring FormatMac(const uint8_t* bytes, size_t length) {
    static const wchar_t* hex = L"0123456789ABCDEF";
    std::wstring s;
    for (size_t i = 0; i < length; ++i) {
        s.push_back(hex[bytes[i] >> 4]);
        s.push_back(hex[bytes[i] & 15]);
    }
    return s;
}

}  // namespace zk
