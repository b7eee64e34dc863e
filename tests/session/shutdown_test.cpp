// A request the server does not answer must not hold up the end of the session for long.
#include <gtest/gtest.h>

#include <chrono>

#include "base/fsys.h"
#include "base/path.h"
#include "session_helpers.h"

using namespace zk;
using namespace std::chrono_literals;

TEST(SessionShutdown, StopDuringARequestTheServerDoesNotAnswer) {
    refsrv::RefService service;
    ASSERT_TRUE(service.Start());
    refsrv::FaultRule slow;
    slow.target = refsrv::FaultTarget::Auth;
    slow.kind = refsrv::FaultKind::Delay;
    slow.delayMs = 60000;
    service.AddFault(slow);
    auto* session = new CVelmoConnect;
    test::Configure(*session, service);
    ASSERT_TRUE(session->Start());
    ASSERT_TRUE(service.Server().WaitForRequests(1, 20000));  // the request is out, its answer 60 s away
    const auto t0 = std::chrono::steady_clock::now();
    const bool ended = session->Stop(3s);
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(took, 6s) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    std::printf("stop with a withheld answer: %lld ms, loop %s\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()),
                ended ? "ended (request aborted)" : "still blocked in the platform call");
    if (ended) {
        delete session;
    } else {
        // Wine's WinINet keeps the call until the server answers; the object stays for that thread.
        session->DetachCallbacks();
    }
#if !defined(_WIN32)
    EXPECT_TRUE(ended) << "the socket twin aborts the request";
#endif
    service.Stop();
}

TEST(SessionShutdown, StopDuringABodyIsSeenBetweenSteps) {
    refsrv::RefService service;
    ASSERT_TRUE(service.Start());
    refsrv::FaultRule network;  // a slow network: 64 MiB would take 32 s
    network.target = refsrv::FaultTarget::Upload;
    network.kind = refsrv::FaultKind::Throttle;
    network.bytesPerSecond = 2 * 1024 * 1024;
    service.AddFault(network);
    test::TempDir dir(L"stopbody");
    const std::wstring file = dir / L"big.jpg";
    test::WriteFile(file, std::string(64 * 1024 * 1024, 'b'));
    CZKRBTree reg;  // outlives the session, as the folder audit's does
    CVelmoConnect session;
    test::Configure(session, service);
    test::EventLog log;
    log.Attach(session);
    session.SetRegistry(&reg);
    {
        std::lock_guard lock(reg.Mutex());
        CZKRBTreeNode* t = reg.Insert(WithTrailingSeparator(dir.Path()));
        t->AddFile(L"", file, L"")->state = kFileReady;
        t->state = kTaskReady;
    }
    ASSERT_TRUE(session.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return session.Snapshot().currentFilePosted > 4 * 1024 * 1024; }, 30s));
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(session.Stop(10s));
    const auto took = std::chrono::steady_clock::now() - t0;
    std::printf("stop during a body: %lld ms\n", static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    EXPECT_LT(took, 3s) << "not the rest of the file";
    EXPECT_EQ(log.Count(false, kTransferTaskStopped), 1);
    EXPECT_TRUE(PathExists(file)) << "nothing accepted, nothing deleted";
    service.Stop();
}
