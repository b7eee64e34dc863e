#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <vector>

#include "base/codepage.h"
#include "tasks/machine_identity.h"

namespace zk {

void RefreshMachineIdentity(MachineIdentity& id) {
    id.mac.clear();
    id.ip.clear();
    ULONG size = 0;
    GetAdaptersInfo(nullptr, &size);
    if (size == 0) return;
    std::vector<unsigned char> buffer(size);
    auto* info = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    if (GetAdaptersInfo(info, &size) != ERROR_SUCCESS) return;
    id.mac = FormatMac(info->Address, info->AddressLength);
    std::wstring ip;
    if (CodePageToWide(kCodePageAnsi, info->IpAddressList.IpAddress.String, ip)) id.ip = ip;
    wchar_t name[256] = {};
    DWORD n = 256;
    if (GetComputerNameW(name, &n)) id.computerName.assign(name, n);
}

}  // namespace zk
