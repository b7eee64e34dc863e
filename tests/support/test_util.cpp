#include "support/test_util.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"

namespace fs = std::filesystem;

namespace zk::test {

TempDir::TempDir(const std::wstring& tag) {
    static std::atomic<int> counter{0};
    std::random_device rd;
    const fs::path base = fs::temp_directory_path();
    for (;;) {
        const std::wstring name = tag + L"_" + std::to_wstring(rd() % 1000000) + L"_" + std::to_wstring(counter++);
        const fs::path p = base / FsPath(name);
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            m_path = WidePath(p);
            break;
        }
    }
}

TempDir::~TempDir() { RemoveTree(m_path); }

void RemoveTree(const std::wstring& path) {
    std::error_code ec;
    // Clear read-only files first, the way the agent itself deletes.
    for (auto it = fs::recursive_directory_iterator(FsPath(path), ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        SetNormalAttributes(WidePath(it->path()));
    fs::remove_all(FsPath(path), ec);
}

std::wstring TempDir::operator/(const std::wstring& name) const { return JoinPath(m_path, name); }

void WriteFile(const std::wstring& path, const std::string& bytes) {
    std::ofstream f(FsPath(path), std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream f(FsPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string PatternBytes(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 12345;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(x >> 24);
    }
    return s;
}

bool WaitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return cond();
}

std::string Narrow(const std::wstring& w) { return ToUtf8(w); }

}  // namespace zk::test
