// Turning a fuzzer's bytes into the texts the agent reads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace zk::fuzz {

// Two bytes a UTF-16 unit, as wide texts come from the platform (a last odd byte is dropped).
inline std::wstring Wide(const uint8_t* data, size_t size) {
    std::wstring w;
    w.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2) w.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    return w;
}

inline std::string Bytes(const uint8_t* data, size_t size) { return std::string(reinterpret_cast<const char*>(data), size); }

}  // namespace zk::fuzz
