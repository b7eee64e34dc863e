// Helpers shared by the tests: throw-away folders, files, and waiting for a condition.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace zk::test {

// A fresh folder under the temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    explicit TempDir(const std::wstring& tag = L"zk");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::wstring& Path() const { return m_path; }
    // Path + separator + name.
    [[nodiscard]] std::wstring operator/(const std::wstring& name) const;

private:
    std::wstring m_path;
};

void WriteFile(const std::wstring& path, const std::string& bytes);
// Removes a folder with everything in it.
void RemoveTree(const std::wstring& path);
std::string ReadFile(const std::wstring& path);
// `size` bytes of a deterministic pattern that differs by `seed`.
std::string PatternBytes(size_t size, uint32_t seed = 1);

// Polls `cond` every 5 ms until it holds or `timeout` passes.
bool WaitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout = std::chrono::seconds(20));

// A file that refuses to be deleted until Release() (or the end of the object): immutable on
// the native build (needs root and a file system with the flag), held open without delete
// sharing on Windows (others may still read it). Active() is false where that cannot be done.
class FileUndeletable {
public:
    explicit FileUndeletable(std::wstring path);
    ~FileUndeletable() { Release(); }
    FileUndeletable(const FileUndeletable&) = delete;
    FileUndeletable& operator=(const FileUndeletable&) = delete;
    [[nodiscard]] bool Active() const { return m_active.load(); }
    // Any thread.
    void Release();

private:
    std::wstring m_path;
    intptr_t m_handle = -1;
    std::atomic<bool> m_active{false};
};

// Narrow test names for messages.
std::string Narrow(const std::wstring& w);

}  // namespace zk::test
