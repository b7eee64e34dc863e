// holder: keeps a file open the way another program on the desktop may, so that the agent can
// read and send it but cannot delete it, and optionally rewrites it before letting it go.
//   holder <file> [--create <source>] [--rewrite <source>] [--for <seconds>]
// --create    makes <file> (and its folder) with the bytes of <source>, and holds it from the
//             first byte on: from its creation it is never without a handle of the holder.
// --rewrite   replaces the held file's bytes with those of <source> when the hold ends, before
//             it is released.
// --for N     holds N seconds; without it the hold lasts until a line or the end arrives on
//             standard input. Either way at most 600 s, so a forgotten holder never stays.
// Prints "held", "rewritten" and "released" on standard output as each happens, for a script
// to wait on. Exit codes: 0 done, 1 the file could not be made or opened, 2 usage, 3 the
// rewrite failed (the file is released all the same).
// Runs on one thread, plus a thread that only reads standard input; the handles are owned here.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/win_handles.h"

namespace {

using zk::UniqueFileHandle;
using zk::UniqueKernelHandle;

constexpr DWORD kLongestHoldMs = 600 * 1000;

void Say(const char* line) {
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int Fail(const wchar_t* what, const std::wstring& path) {
    std::fwprintf(stderr, L"holder: %ls %ls (error %lu)\n", what, path.c_str(), GetLastError());
    return 1;
}

bool ReadWhole(const std::wstring& path, std::vector<char>& bytes) {
    UniqueFileHandle in(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!in || !GetFileSizeEx(in.get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD done = 0;
    return bytes.empty() || (::ReadFile(in.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size());
}

// Replaces the whole content of an open file (written through `file`, which has write access).
bool WriteWhole(HANDLE file, const std::vector<char>& bytes) {
    DWORD done = 0;
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
    if (!bytes.empty() && !(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size()))
        return false;
    return SetEndOfFile(file) != FALSE;
}

// The hold: delete access only, reading and writing shared, deletion not. The agent's in-use
// test (read access, sharing deletion only) and its upload open the file as if it were free,
// while its deletion, which needs the others to share deletion, fails with a sharing violation.
// A handle with read or write access instead would make the file "in use", and it would not
// be sent at all.
UniqueFileHandle Hold(const std::wstring& path) {
    return UniqueFileHandle(CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// A writer beside the hold: it must share deletion, since the hold has delete access.
UniqueFileHandle OpenWriter(const std::wstring& path, DWORD disposition) {
    return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Makes the file under a writer and takes the hold before the writer closes.
UniqueFileHandle CreateHeld(const std::wstring& path, const std::vector<char>& bytes) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);  // may exist already
    UniqueFileHandle writer = OpenWriter(path, CREATE_NEW);
    if (!writer || !WriteWhole(writer.get(), bytes)) return {};
    return Hold(path);
}

int Usage() {
    std::fputs("usage: holder <file> [--create <source>] [--rewrite <source>] [--for <seconds>]\n", stderr);
    return 2;
}

DWORD WINAPI WaitForInput(void*) {
    char c = 0;
    DWORD n = 0;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(in, &c, 1, &n, nullptr) && n == 1 && c != '\n') {
    }
    return 0;
}

// Ends when the hold should: after `seconds`, or at a line or the end of standard input.
void WaitForRelease(int seconds) {
    if (seconds > 0) {
        Sleep(std::min(static_cast<DWORD>(seconds) * 1000, kLongestHoldMs));
        return;
    }
    UniqueKernelHandle reader(CreateThread(nullptr, 0, &WaitForInput, nullptr, 0, nullptr));
    if (reader) WaitForSingleObject(reader.get(), kLongestHoldMs);
    // A reader still blocked in ReadFile is ended with the process.
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || argc % 2 != 0) return Usage();  // no file, or an option without its value
    const std::wstring path = argv[1];
    std::wstring create, rewrite;
    int seconds = 0;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--create") create = argv[i + 1];
        else if (option == L"--rewrite") rewrite = argv[i + 1];
        else if (option == L"--for") seconds = _wtoi(argv[i + 1]);
        else return Usage();
    }

    std::vector<char> first, second;
    if (!create.empty() && !ReadWhole(create, first)) return Fail(L"cannot read", create);
    if (!rewrite.empty() && !ReadWhole(rewrite, second)) return Fail(L"cannot read", rewrite);
    UniqueFileHandle held = create.empty() ? Hold(path) : CreateHeld(path, first);
    if (!held) return Fail(L"cannot hold", path);
    Say("held");

    WaitForRelease(seconds);

    int result = 0;
    if (!rewrite.empty()) {
        UniqueFileHandle writer = OpenWriter(path, OPEN_EXISTING);
        if (writer && WriteWhole(writer.get(), second)) {
            writer.reset();
            Say("rewritten");
        } else {
            (void)Fail(L"cannot rewrite", path);
            result = 3;
        }
    }
    held.reset();
    Say("released");
    return result;
}
