// Name digest: MD5 over the agent's byte encoding of a name (one byte below U+0080, the UTF-8
// pair up to U+07FF, one 0x00 byte for every UTF-16 unit from U+0800 up).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zk {

using Digest = std::array<uint8_t, 16>;

// Standard MD5 (RFC 1321) of raw bytes.
Digest Md5(const void* data, size_t size);

// The byte encoding of a name that the digest is taken over.
std::string NameDigestBytes(std::wstring_view name);
// False (and `out` untouched) for an empty name; callers start from an all-zero digest.
[[nodiscard]] bool NameDigest(std::wstring_view name, Digest& out);
// The digest of a name, all zero for an empty one.
Digest NameDigestOf(std::wstring_view name);
// 32 lower-case hex digits, two per byte in byte order.
std::wstring DigestHex(const Digest& d);

}  // namespace zk
