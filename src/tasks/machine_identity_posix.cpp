// Native twin: the first non-loopback interface that has a hardware address and an IPv4 address
// (else the first with a hardware address), its first IPv4 address, and the host name.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <string>

#include "base/utf16.h"
#include "tasks/machine_identity.h"

namespace zk {

void RefreshMachineIdentity(MachineIdentity& id) {
    id.mac.clear();
    id.ip.clear();
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return;
    auto hasIpv4 = [&](const char* name) {
        for (ifaddrs* a = list; a; a = a->ifa_next)
            if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET && std::string(name) == a->ifa_name) return true;
        return false;
    };
    std::string chosen;
    for (int pass = 0; pass < 2 && chosen.empty(); ++pass) {
        for (ifaddrs* a = list; a; a = a->ifa_next) {
            if (!a->ifa_addr || (a->ifa_flags & IFF_LOOPBACK) || a->ifa_addr->sa_family != AF_PACKET) continue;
            const auto* ll = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
            if (ll->sll_halen == 0 || (pass == 0 && !hasIpv4(a->ifa_name))) continue;
            chosen = a->ifa_name;
            id.mac = FormatMac(ll->sll_addr, ll->sll_halen);
            break;
        }
    }
    for (ifaddrs* a = list; a && !chosen.empty(); a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || chosen != a->ifa_name) continue;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
        id.ip = FromUtf8(text);
        break;
    }
    freeifaddrs(list);
    if (chosen.empty()) return;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) id.computerName = FromUtf8(host);
}

}  // namespace zk
