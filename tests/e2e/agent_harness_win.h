// Runs the real agent .exe for the end-to-end tests (Windows, under Wine): its settings in the
// registry, its folders, the process, its windows and its journal.
#pragma once
#include <windows.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/win_handles.h"
#include "refserver/ref_service.h"
#include "support/test_util.h"

namespace zk::e2e {

inline constexpr wchar_t kAgentClass[] = L"TOLMARIN_SS_UPLOADER";
inline constexpr wchar_t kKeyPath[] = L"Software\\ZELTAVIO\\TOLMARIN_SS_UPLOADER";

// The agent's registry key, emptied on construction and removed on destruction.
class AgentSettings {
public:
    AgentSettings();
    ~AgentSettings();
    void Set(const std::wstring& name, const std::wstring& value);
    [[nodiscard]] std::wstring Get(const std::wstring& name) const;
    [[nodiscard]] bool Has(const std::wstring& name) const;
};

class AgentProcess {
public:
    ~AgentProcess();
    static std::wstring ExePath();
    bool Launch();
    // Waits for the hidden main window of the agent (class and title).
    HWND WaitMainWindow(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // Opens the tray menu with a right click and chooses its last item, the exit.
    bool ExitThroughMenu();
    // Waits for the process to end; gives its exit code or -1.
    long WaitExit(std::chrono::milliseconds timeout);
    [[nodiscard]] bool Running() const;
    void Kill();
    [[nodiscard]] HANDLE Handle() const { return m_process.get(); }

private:
    UniqueKernelHandle m_process;
    DWORD m_pid = 0;
};

// A reference service, a fresh root with the audit and logs folders, the agent's registry key
// pointing at them, and the agent process, which is ended (if still running) after each test.
class AgentTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    refsrv::RefService service;
    test::TempDir root{L"e2e"};
    std::wstring audit, logs;
    AgentSettings settings;
    AgentProcess agent;
};

// Journal lines without their date and time stamp, read from the to-do folder of `logs`.
std::vector<std::string> JournalLines(const std::wstring& logs);
// The balloon window of a process, or null.
HWND BalloonOf(DWORD pid);

}  // namespace zk::e2e
