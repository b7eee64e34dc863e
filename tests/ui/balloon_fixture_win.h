// The window tests' fixture: a started window object of its own class and registry key, its
// agent on a reference service, its shell calls recorded; message pumping and screen reading.
#pragma once
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cwchar>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "base/fsys.h"
#include "base/path.h"
#include "base/utf16.h"
#include "base/win_handles.h"
#include "refserver/ref_service.h"
#include "support/test_util.h"
#include "ui/dib_win.h"
#include "ui/zk_window_win.h"

namespace zk::test {

using namespace std::chrono_literals;

// The real shell, with every call recorded, and NIM_ADD refused a given number of times (a
// shell that is not ready yet at log-on).
class RecordingShell final : public ITrayShell {
public:
    struct Call {
        DWORD message;
        HICON icon;
        std::wstring tip;
        UINT version;
        UINT flags;
        std::wstring infoTitle, info;  // a notification (NIF_INFO)
    };
    bool NotifyIcon(DWORD message, NOTIFYICONDATAW& data) override {
        std::lock_guard lock(m_mutex);
        m_calls.push_back({message, data.hIcon, data.szTip, data.uVersion, data.uFlags, data.szInfoTitle, data.szInfo});
        if (message == NIM_ADD && refuseAdds > 0) {
            --refuseAdds;
            return false;
        }
        return m_real.NotifyIcon(message, data);
    }
    bool IconRect(HWND owner, UINT id, RECT& rect) override {
        if (iconRect.right > iconRect.left) {
            rect = iconRect;
            return true;
        }
        return m_real.IconRect(owner, id, rect);
    }
    std::vector<Call> Calls() {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    int refuseAdds = 0;
    RECT iconRect{};  // what the shell says of the icon's place; empty: the real answer

private:
    std::mutex m_mutex;
    std::vector<Call> m_calls;
    CSystemTrayShell m_real;
};

// Stands in for Explorer: records the folders it is asked to show, and can refuse them.
class RecordingFolderShell final : public IFolderShell {
public:
    bool OpenFolder(HWND, const std::wstring& folder) override {
        opened.push_back(folder);
        return !refuse;
    }
    std::vector<std::wstring> opened;  // main thread only
    bool refuse = false;
};

// Runs the main thread's messages until `done` holds or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

// The window's pixels as the screen shows them, 0xRRGGBB.
// Where a screenshot reads the window's pixels: from the screen (what a person sees, once the X
// server has shown the last paint), or from the window's own surface (what was painted, at once).
enum class ShotOf { kScreen, kWindow };

class Screenshot {
public:
    explicit Screenshot(HWND hwnd, ShotOf of = ShotOf::kScreen) {
        GetWindowRect(hwnd, &m_rect);
        m_width = m_rect.right - m_rect.left;
        m_height = m_rect.bottom - m_rect.top;
        const ScopedWindowDc source(of == ShotOf::kScreen ? nullptr : hwnd);
        Dib dib(m_width, m_height);
        const POINT at = of == ShotOf::kScreen ? POINT{m_rect.left, m_rect.top} : POINT{0, 0};
        BitBlt(dib.Dc(), 0, 0, m_width, m_height, source.Dc(), at.x, at.y, SRCCOPY);
        m_pixels = dib.RawPixels();
    }
    bool operator==(const Screenshot& o) const { return m_width == o.m_width && m_height == o.m_height && m_pixels == o.m_pixels; }
    [[nodiscard]] uint32_t At(int x, int y) const { return m_pixels[static_cast<size_t>(y * m_width + x)] & 0xFFFFFF; }
    // Whether any pixel of the rectangle (window coordinates) is a strong red.
    [[nodiscard]] bool AnyRedIn(const RectI& r) const {
        for (int y = std::max<int>(r.top, 0); y < std::min<int>(r.bottom, m_height); ++y)
            for (int x = std::max<int>(r.left, 0); x < std::min<int>(r.right, m_width); ++x) {
                const uint32_t c = At(x, y);
                if (((c >> 16) & 0xFF) > 0xA0 && ((c >> 8) & 0xFF) < 0x60 && (c & 0xFF) < 0x60) return true;
            }
        return false;
    }

    // The pixels as a 32-bit top-down BMP file (for the README's pictures).
    bool SaveBmp(const std::wstring& path) const {
        const DWORD bytes = static_cast<DWORD>(m_pixels.size() * 4);
        BITMAPFILEHEADER fh{};
        fh.bfType = 0x4D42;
        fh.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        fh.bfSize = fh.bfOffBits + bytes;
        BITMAPINFOHEADER ih{};
        ih.biSize = sizeof(ih);
        ih.biWidth = m_width;
        ih.biHeight = -m_height;
        ih.biPlanes = 1;
        ih.biBitCount = 32;
        std::string data(reinterpret_cast<const char*>(&fh), sizeof(fh));
        data.append(reinterpret_cast<const char*>(&ih), sizeof(ih));
        data.append(reinterpret_cast<const char*>(m_pixels.data()), bytes);
        test::WriteFile(path, data);
        return true;
    }

private:
    RECT m_rect{};
    int m_width = 0, m_height = 0;
    std::vector<uint32_t> m_pixels;
};

// The window as the screen shows it once the screen has caught up with its last paint: Wine
// hands a paint to the X server in its own time, later on a loaded machine, so three looks 100 ms
// apart must agree (for at most 10 s).
inline Screenshot Steady(HWND hwnd, ShotOf of = ShotOf::kScreen) {
    Screenshot last(hwnd, of);
    for (int i = 0, same = 0; i < 100 && same < 2; ++i) {
        PumpUntil([] { return false; }, 100ms);
        Screenshot now(hwnd, of);
        same = now == last ? same + 1 : 0;
        last = std::move(now);
    }
    return last;
}

// The balloon painted whole once more, as the screen then shows it.
inline Screenshot PaintedWhole(HWND balloon, std::chrono::milliseconds settle = 500ms, ShotOf of = ShotOf::kScreen) {
    InvalidateRect(balloon, nullptr, FALSE);
    UpdateWindow(balloon);
    PumpUntil([] { return false; }, settle);
    return Steady(balloon, of);
}

inline void SetValue(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * 2));
}

inline std::wstring GetValue(const std::wstring& key, const std::wstring& name) {
    wchar_t buf[1024] = {};
    DWORD size = sizeof(buf);
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS) return L"";
    return buf;
}

// A started window object of its own class and registry key, its agent on a reference service;
// the folder items talk to a recording stand-in for Explorer.
class Balloon : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.Start());
        ASSERT_TRUE(CreateFolder(audit));
        ASSERT_TRUE(CreateFolder(logs));
        SetValue(key, L"AuthSrv", service.AuthUrl());
        SetValue(key, L"AuditFolder", audit);
        SetValue(key, L"LogsFolder", logs);
        BeforeStart();
        window.UseShells(shell, folders);
        ASSERT_TRUE(window.BuildFrame(GetModuleHandleW(nullptr), agentClass));
        ASSERT_TRUE(window.StartUp());
        main = window.Tray()->Handle();
        balloon = window.Balloon()->Handle();
        ASSERT_TRUE(main && balloon);
    }
    void TearDown() override {
        if (TrayIcon* tray = window.Tray()) tray->Destroy();  // the exit item's work
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    }
    // What a test sets up before the window object starts.
    virtual void BeforeStart() {}
    // A mouse click or Enter on the tray icon, as a version-4 shell reports it.
    void Select(UINT event = NIN_SELECT) { PostMessageW(main, kTrayMessage, MAKEWPARAM(800, 700), MAKELPARAM(event, 0)); }
    CStatRows& Rows() { return (*window.Agent()).Rows(); }
    SIZE Size() const {
        RECT r{};
        GetWindowRect(balloon, &r);
        return {r.right - r.left, r.bottom - r.top};
    }
    void ChoosePage(int position) { SendMessageW(main, WM_MENUCOMMAND, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(window.Tray()->Menu())); }
    void Key(UINT vk) { SendMessageW(window.Balloon()->Editor().Handle(), WM_KEYDOWN, vk, 0); }
    CZKListEntry* Editing() { return window.Balloon()->Editor().Editing(); }
    void ClickValueOf(const CZKListEntry& row) {
        const RectI& r = row.valueRect;
        SendMessageW(balloon, WM_LBUTTONDOWN, 0, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    }

    refsrv::RefService service;
    test::TempDir root{L"balloon"};
    std::wstring audit = root / L"orders.UPLOAD", logs = root / L"logs";
    std::wstring agentClass = L"ZK_TEST_BALLOON_" + std::to_wstring(GetCurrentProcessId());
    std::wstring key = L"Software\\ZELTAVIO\\" + agentClass;
    RecordingShell shell;
    RecordingFolderShell folders;
    CZKWindow window;
    HWND main = nullptr, balloon = nullptr;
};

}  // namespace zk::test
