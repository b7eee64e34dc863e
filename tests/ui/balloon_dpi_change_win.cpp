// The balloon moved to a monitor of another DPI (WM_DPICHANGED, as Windows sends it when a
// per-monitor aware window crosses monitors): it takes the suggested position and the new DPI's
// size, lays its rows out again and cuts its region anew; the same DPI again changes nothing.
#include <gtest/gtest.h>

#include <windows.h>

#include "base/win_handles.h"
#include "ui/balloon_fixture_win.h"

using namespace zk;
using namespace zk::test;

namespace {

int FirstLabelHeight(CStatRows& rows) {
    for (CZKListEntry* e = rows.Rows().First(); e; e = e->next)
        if (e->visible && e->kind != kRowTextBlock) return e->labelRect.bottom - e->labelRect.top;
    return 0;
}

RECT RegionBox(HWND w) {
    RECT box{};
    UniqueHrgn region(CreateRectRgn(0, 0, 0, 0));
    if (GetWindowRgn(w, region.get()) != ERROR) GetRgnBox(region.get(), &box);
    return box;
}

}  // namespace

TEST_F(Balloon, MovedToAMonitorOfAnotherDpiTheBalloonTakesItsSizeThere) {
    Select();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(balloon) != FALSE; }));
    const int before = window.Balloon()->Frame().dpi;
    const int other = before == 96 ? 144 : 96;
    const int label = FirstLabelHeight(Rows());
    ASSERT_GT(label, 0);

    RECT suggested{120, 40, 120 + 360 * other / 96, 40 + 360 * other / 96};
    SendMessageW(balloon, WM_DPICHANGED, MAKEWPARAM(other, other), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(window.Balloon()->Frame().dpi, other);
    EXPECT_EQ(Size().cx, 360 * other / 96);
    EXPECT_EQ(Size().cy, 360 * other / 96);
    RECT at{};
    GetWindowRect(balloon, &at);
    EXPECT_EQ(at.left, 120);
    EXPECT_EQ(at.top, 40);
    EXPECT_NEAR(FirstLabelHeight(Rows()), label * other / before, 2) << "the rows are laid out at the new DPI";
    const RECT box = RegionBox(balloon);
    EXPECT_GT(box.right - box.left, Size().cx * 9 / 10) << "the region is cut for the new size";
    EXPECT_LE(box.right - box.left, Size().cx);

    // The same DPI once more (our own placement already chose it): nothing moves.
    RECT elsewhere{500, 300, 500 + Size().cx, 300 + Size().cy};
    SendMessageW(balloon, WM_DPICHANGED, MAKEWPARAM(other, other), reinterpret_cast<LPARAM>(&elsewhere));
    GetWindowRect(balloon, &at);
    EXPECT_EQ(at.left, 120);
    EXPECT_EQ(Size().cx, 360 * other / 96);

    // And back.
    RECT back{200, 100, 200 + 360 * before / 96, 100 + 360 * before / 96};
    SendMessageW(balloon, WM_DPICHANGED, MAKEWPARAM(before, before), reinterpret_cast<LPARAM>(&back));
    EXPECT_EQ(window.Balloon()->Frame().dpi, before);
    EXPECT_EQ(Size().cx, 360 * before / 96);
    EXPECT_EQ(FirstLabelHeight(Rows()), label);
}
