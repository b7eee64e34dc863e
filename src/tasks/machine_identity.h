// The machine the agent runs on: first network adapter's MAC and IP, and the computer name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace zk {

struct MachineIdentity {
    std::wstring mac;           // upper-case hex pairs without separators
    std::wstring ip;            // dotted decimal
    std::wstring computerName;  // at most 255 characters
};

// Upper-case "%02X" per byte.
std::wstring FormatMac(const uint8_t* bytes, size_t length);

// Fills `id` from the platform. MAC and IP are emptied first; when the adapter list cannot be
// read they stay empty and the computer name is left as it was.
void RefreshMachineIdentity(MachineIdentity& id);

}  // namespace zk
