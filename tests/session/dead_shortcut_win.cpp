// An order holding a shortcut whose target no longer exists (Windows, real shell links).
#include <gtest/gtest.h>

#include <thread>

#include "audit_session.h"
#include "intake/shortcut.h"

using namespace zk;
using namespace std::chrono_literals;

TEST(DeadShortcut, OrderEndsOnceWithOneReasonAndComesBackWithItsTarget) {
    test::AuditSession p;
    test::TempDir outside(L"deadtarget");
    const std::wstring target = outside / L"\u0444\u043E\u0442\u043E.jpg";
    test::WriteFile(target, "soon gone");
    const std::wstring order = p.Order(L"\u0417\u0430\u043A\u0430\u0437", {{L"a.jpg", "aaa"}});
    ASSERT_EQ(CreateShortcut(target, order + L"\u0444\u043E\u0442\u043E.jpg.lnk"), kHrOk);
    ASSERT_TRUE(DeleteFileAt(target));
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(test::WaitUntil([&] { return p.SetAside().size() == 1; }, 30s));
    std::this_thread::sleep_for(4s);  // four scans of the audit folder
    EXPECT_EQ(p.TasksSent(), 1u) << "the order is not listed, sent and counted again every second";
    ASSERT_EQ(p.SetAside().size(), 1u);
    EXPECT_EQ(p.SetAside()[0].path, order);
    EXPECT_NE(p.SetAside()[0].reason.find(target), std::wstring::npos) << test::Narrow(p.SetAside()[0].reason);
    EXPECT_EQ(p.log.Count(false, kTransferTaskBegin), 1);
    EXPECT_TRUE(PathExists(order + L"\u0444\u043E\u0442\u043E.jpg.lnk")) << "what cannot be sent stays";
    EXPECT_FALSE(PathExists(order + L"a.jpg")) << "what was accepted is deleted";
    // The target comes back: the order is listed again and the file goes.
    test::WriteFile(target, "back again");
    ASSERT_TRUE(test::WaitUntil([&] { return !PathExists(order); }, 30s));
    EXPECT_EQ(p.ReceivedTimes(), (std::map<std::wstring, int>{{L"a.jpg", 1}, {L"\u0444\u043E\u0442\u043E.jpg", 1}}));
    EXPECT_TRUE(PathExists(target)) << "a shortcut's target stays";
}
