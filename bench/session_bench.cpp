// One file sent through the server session as the agent sends it (authentication first, the
// descriptor, 1,024-byte steps with their events counted by the event journal):
//   session_bench <auth url> <file> [times]  ->  "session <bytes> <seconds> <MB/s>"
// With `times`, the file is sent that many times (a copy each time, as orders come), and the
// process's memory is printed every tenth of the way (a leak shows as growth).
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "base/clock.h"
#include "base/fsys.h"
#include "base/process_memory.h"
#include "base/utf16.h"
#include "panel/stat_rows.h"
#include "session/event_journal.h"
#include "session/velmo_connect.h"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: session_bench <auth url> <file> [times]\n");
        return 2;
    }
    zk::CVelmoConnect session;
    session.SetVersionString(L"2.00");
    session.SetAuthServerUrl(zk::FromUtf8(argv[1]));
    session.SetUserName(L"loader");
    session.SetPassword(L"malvoro");
    zk::CStatRows rows;
    rows.EnterDisplayList();
    zk::EventHooks hooks;
    hooks.windowVisible = [] { return true; };
    hooks.counter = [] { return std::chrono::steady_clock::now().time_since_epoch().count() / 1000; };
    hooks.counterFrequency = 1000000;
    zk::CEventJournal events(rows, hooks);
    session.SetTransferCallback(&events, [](void* u, zk::CVelmoConnect* s, int code) { static_cast<zk::CEventJournal*>(u)->OnTransferEvent(*s, code); });
    if (!session.Authenticate()) {
        std::fprintf(stderr, "authentication failed: %s\n", zk::ToUtf8(session.LastErrorText()).c_str());
        return 1;
    }
    const std::wstring file = zk::FromUtf8(argv[2]);
    const int times = argc == 4 ? std::atoi(argv[3]) : 1;
    const auto t0 = std::chrono::steady_clock::now();
    bool ok = true;
    for (int i = 0; i < times && ok; ++i) {
        const std::wstring copy = file + L"." + std::to_wstring(i);
        if (times > 1) (void)zk::CopyFileTo(file, copy, true);
        ok = session.UploadFile(times > 1 ? copy : file);
        if (times > 1) (void)zk::DeleteFileAt(copy);
        if (times >= 10 && (i + 1) % (times / 10) == 0) std::printf("after %d: %.1f MB\n", i + 1, zk::ResidentMegabytes());
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double bytes = static_cast<double>(session.BytesSent());
    std::printf("session %.0f %.3f %.1f %s\n", bytes, s, bytes / s / 1e6, ok ? "accepted" : zk::ToUtf8(session.LastErrorText()).c_str());
    return ok ? 0 : 1;
}
