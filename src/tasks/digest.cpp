#include "tasks/digest.h"

#include <cstring>

#include "base/utf16.h"

namespace zk {
namespace {

constexpr uint32_t kS[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                             5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                             4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                             6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

// floor(abs(sin(i + 1)) * 2^32)
constexpr uint32_t kK[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

inline uint32_t Rotl(uint32_t x, uint32_t c) { return (x << c) | (x >> (32 - c)); }

void Block(uint32_t st[4], const uint8_t* p) {
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = uint32_t(p[i * 4]) | (uint32_t(p[i * 4 + 1]) << 8) | (uint32_t(p[i * 4 + 2]) << 16) |
               (uint32_t(p[i * 4 + 3]) << 24);
    uint32_t a = st[0], b = st[1], c = st[2], d = st[3];
    for (uint32_t i = 0; i < 64; ++i) {
        uint32_t f, g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const uint32_t tmp = d;
        d = c;
        c = b;
        b = b + Rotl(a + f + kK[i] + m[g], kS[i]);
        a = tmp;
    }
    st[0] += a;
    st[1] += b;
    st[2] += c;
    st[3] += d;
}

}  // namespace

Digest Md5(const void* data, size_t size) {
    uint32_t st[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    const auto* p = static_cast<const uint8_t*>(data);
    size_t full = size / 64;
    for (size_t i = 0; i < full; ++i) Block(st, p + i * 64);
    uint8_t tail[128] = {};
    const size_t rest = size % 64;
    if (rest) std::memcpy(tail, p + full * 64, rest);
    tail[rest] = 0x80;
    const size_t tailLen = rest < 56 ? 64 : 128;
    const uint64_t bits = static_cast<uint64_t>(size) * 8;
    for (int i = 0; i < 8; ++i) tail[tailLen - 8 + i] = static_cast<uint8_t>(bits >> (8 * i));
    Block(st, tail);
    if (tailLen == 128) Block(st, tail + 64);
    Digest out{};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) out[i * 4 + k] = static_cast<uint8_t>(st[i] >> (8 * k));
    return out;
}

std::string NameDigestBytes(std::wstring_view name) {
    std::string bytes;
    for (char16_t u : ToUtf16(name)) {
        if (u < 0x80) {
            bytes.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            bytes.push_back(static_cast<char>(0xC0 | (u >> 6)));
            bytes.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            bytes.push_back('\0');
        }
    }
    return bytes;
}

bool NameDigest(std::wstring_view name, Digest& out) {
    if (name.empty()) return false;
    const std::string bytes = NameDigestBytes(name);
    out = Md5(bytes.data(), bytes.size());
    return true;
}

Digest NameDigestOf(std::wstring_view name) {
    Digest d{};
    (void)NameDigest(name, d);
    return d;
}

std::wstring DigestHex(const Digest& d) {
    static const wchar_t* hex = L"0123456789abcdef";
    std::wstring s;
    s.reserve(32);
    for (uint8_t b : d) {
        s.push_back(hex[b >> 4]);
        s.push_back(hex[b & 15]);
    }
    return s;
}

}  // namespace zk
