// The exit item under Wine: the upload loop is told to stop before the windows and the tray icon
// are torn down, which can take seconds, so that no more of an upload goes out meanwhile.
#include <gtest/gtest.h>

#include <windows.h>

#include "ui/balloon_fixture_win.h"

using namespace zk;
using namespace zk::test;

TEST_F(Balloon, TheExitItemStopsTheUploadLoopBeforeTheWindowsGo) {
    ASSERT_TRUE(PumpUntil([&] { return Rows().authStatus.Value() == L"выполнена"; }));
    CVelmoConnect* session = (*window.Agent()).Session();
    ASSERT_NE(session, nullptr);
    EXPECT_FALSE(session->StopRequested());
    const int exitPosition = GetMenuItemCount(window.Tray()->Menu()) - 1;
    ChoosePage(exitPosition);  // the menu command, sent: it has run when this returns
    EXPECT_TRUE(session->StopRequested());
    EXPECT_FALSE(IsWindow(main));
}
