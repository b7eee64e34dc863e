#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <vector>
#include <string>

#include "base/utf16.h"
#include "tasks/digest.h"
#include "tasks/machine_identity.h"

using namespace zk;

namespace {
std::wstring Hex(const std::string& bytes) { return DigestHex(Md5(bytes.data(), bytes.size())); }
}  // namespace

TEST(Md5, Rfc1321TestSuite) {
    EXPECT_EQ(Hex(""), L"d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Hex("a"), L"0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Hex("abc"), L"900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Hex("message digest"), L"f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Hex("abcdefghijklmnopqrstuvwxyz"), L"c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"), L"d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              L"57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PaddingBoundaries) {
    // 55, 56 and 64 bytes straddle the one-block / two-block padding cases.
    EXPECT_EQ(Hex(std::string(55, 'a')), L"ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(Hex(std::string(56, 'a')), L"3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(Hex(std::string(64, 'a')), L"014842d480b571495a4a0363793f7367");
}

TEST(NameDigest, EncodingOfNames) {
    Digest d{};
    ASSERT_TRUE(NameDigest(L"a", d));
    EXPECT_EQ(DigestHex(d), L"0cc175b9c0f1b6a831c399e269772661");
    // Cyrillic hashes as its UTF-8 bytes.
    EXPECT_EQ(NameDigestBytes(L"\u0417\u0430\u043A\u0430\u0437"), "\xD0\x97\xD0\xB0\xD0\xBA\xD0\xB0\xD0\xB7");
    EXPECT_EQ(NameDigestOf(L"\u0417\u0430\u043A\u0430\u0437"), Md5("\xD0\x97\xD0\xB0\xD0\xBA\xD0\xB0\xD0\xB7", 10));
    // U+2116 and every other unit from U+0800 up are one zero byte.
    EXPECT_EQ(NameDigestBytes(L"x\u2116y"), std::string("x\0y", 3));
    EXPECT_EQ(NameDigestOf(L"x\u2116y"), NameDigestOf(L"x\u4E2Dy"));
    EXPECT_NE(NameDigestOf(L"x\u2116y"), NameDigestOf(L"xy"));
    // Two-byte boundary: U+07FF is a pair, U+0800 is zero.
    EXPECT_EQ(NameDigestBytes(L"\u07FF\u0800"), std::string("\xDF\xBF\0", 3));
}

TEST(NameDigest, EmptyNameLeavesOutputAlone) {
    Digest d{};
    d.fill(0xAB);
    EXPECT_FALSE(NameDigest(L"", d));
    EXPECT_EQ(d[0], 0xAB);
    EXPECT_EQ(NameDigestOf(L""), Digest{});
}

namespace {
// Hardware addresses of the host's interfaces other than loopback, read from the kernel's own
// list (through Wine's drive Z: in the Windows build); empty where that list cannot be read.
std::vector<std::wstring> HostMacs() {
    std::vector<std::wstring> macs;
#ifdef _WIN32
    const std::filesystem::path net = L"Z:\\sys\\class\\net";
#else
    const std::filesystem::path net = "/sys/class/net";
#endif
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(net, ec)) {
        std::ifstream in(entry.path() / "address");
        std::string text;
        std::getline(in, text);
        std::wstring mac;
        for (char c : text)
            if (c != ':') mac += static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(c)));
        if (mac.size() == 12 && mac != L"000000000000") macs.push_back(mac);
    }
    return macs;
}
}  // namespace

TEST(MachineIdentity, MacTextAndPlatformQuery) {
    const uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    EXPECT_EQ(FormatMac(mac, 6), L"001A2B3C4D5E");

    const std::vector<std::wstring> host = HostMacs();
    if (host.empty()) GTEST_SKIP() << "this machine has no network interface besides loopback";
    MachineIdentity id;
    id.mac = L"stale";
    id.ip = L"stale";
    RefreshMachineIdentity(id);
    // The journal and the window show these: an interface of this machine, with its IPv4 address.
    EXPECT_NE(std::find(host.begin(), host.end(), id.mac), host.end()) << "MAC " << ToUtf8(id.mac);
    ASSERT_FALSE(id.ip.empty());
    int parts = 0;
    for (size_t at = 0; at != std::wstring::npos; ++parts) {
        const size_t dot = id.ip.find(L'.', at);
        const std::wstring part = id.ip.substr(at, dot == std::wstring::npos ? dot : dot - at);
        EXPECT_TRUE(!part.empty() && part.size() <= 3 && std::all_of(part.begin(), part.end(), iswdigit) && std::stoi(part) <= 255)
            << ToUtf8(id.ip);
        at = dot == std::wstring::npos ? dot : dot + 1;
    }
    EXPECT_EQ(parts, 4) << ToUtf8(id.ip);
    EXPECT_FALSE(id.computerName.empty());
}
