#include "e2e/agent_harness_win.h"

#include <thread>

#include "agentctl/tray_menu_win.h"
#include "base/fsys.h"
#include "base/path.h"

namespace zk::e2e {

using namespace std::chrono_literals;

AgentSettings::AgentSettings() { RegDeleteTreeW(HKEY_CURRENT_USER, kKeyPath); }
AgentSettings::~AgentSettings() { RegDeleteTreeW(HKEY_CURRENT_USER, kKeyPath); }

void AgentSettings::Set(const std::wstring& name, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
    UniqueHkey owned(key);
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.data()), static_cast<DWORD>(value.size() * 2));
}

std::wstring AgentSettings::Get(const std::wstring& name) const {
    wchar_t buf[2048] = {};
    DWORD bytes = sizeof(buf) - 2;
    if (RegGetValueW(HKEY_CURRENT_USER, kKeyPath, name.c_str(), RRF_RT_REG_SZ, nullptr, buf, &bytes) != ERROR_SUCCESS) return {};
    return buf;
}

bool AgentSettings::Has(const std::wstring& name) const {
    DWORD bytes = 0;
    return RegGetValueW(HKEY_CURRENT_USER, kKeyPath, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes) == ERROR_SUCCESS;
}

AgentProcess::~AgentProcess() { Kill(); }

std::wstring AgentProcess::ExePath() {
    // Another build of the agent (the release .exe) when ZK_AGENT_EXE names one.
    wchar_t other[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"ZK_AGENT_EXE", other, MAX_PATH) > 0) return other;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir = FolderPart(self);  // ...\build\windows\tests\ .
    dir.pop_back();
    return FolderPart(dir) + L"src\\uploader.exe";
}

bool AgentProcess::Launch() {
    Kill();
    std::wstring cmd = L"\"" + ExePath() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    m_process.reset(pi.hProcess);
    m_pid = pi.dwProcessId;
    return true;
}

HWND AgentProcess::WaitMainWindow(std::chrono::milliseconds timeout) {
    HWND found = nullptr;
    test::WaitUntil([&] { return (found = FindWindowW(kAgentClass, L"ZELTAVIO EXPRESS UPLOADER")) != nullptr; }, timeout);
    return found;
}

bool AgentProcess::ExitThroughMenu() { return tools::ChooseExitInTrayMenu(WaitMainWindow(5s)); }

long AgentProcess::WaitExit(std::chrono::milliseconds timeout) {
    if (!m_process) return -1;
    if (WaitForSingleObject(m_process.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(m_process.get(), &code);
    return static_cast<long>(code);
}

bool AgentProcess::Running() const { return m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT; }

void AgentProcess::Kill() {
    if (Running()) {
        TerminateProcess(m_process.get(), 99);
        WaitForSingleObject(m_process.get(), 10000);
    }
    m_process.reset();
}

void AgentTest::SetUp() {
    ASSERT_TRUE(service.Start());
    audit = root / L"orders.UPLOAD";
    logs = root / L"logs";
    EXPECT_TRUE(CreateFolder(audit));
    EXPECT_TRUE(CreateFolder(logs));
    settings.Set(L"AuthSrv", service.AuthUrl());
    settings.Set(L"AuditFolder", audit);
    settings.Set(L"LogsFolder", logs);
}

void AgentTest::TearDown() {
    agent.Kill();
    service.Stop();
}

std::vector<std::string> JournalLines(const std::wstring& logs) {
    std::vector<std::string> lines;
    std::vector<DirEntry> files;
    const std::wstring todo = JoinPath(logs, L"_LOGS.UPLOADER.TODO");
    if (ListFolder(todo, L"*.log", files) != ListResult::Ok) return lines;
    const std::string bytes = test::ReadFile(JoinPath(todo, files.front().name));
    size_t pos = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (pos < bytes.size()) {
        const size_t nl = bytes.find("\r\n", pos);
        if (nl == std::string::npos) break;
        const std::string line = bytes.substr(pos, nl - pos);
        lines.push_back(line.size() > 20 && line[10] == '\t' ? line.substr(20) : line);
        pos = nl + 2;
    }
    return lines;
}

HWND BalloonOf(DWORD pid) {
    HWND found = nullptr;
    while ((found = FindWindowExW(nullptr, found, L"CZKWindow", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(found, &owner);
        if (owner == pid) return found;
    }
    return nullptr;
}

}  // namespace zk::e2e
