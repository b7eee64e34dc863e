#include <gtest/gtest.h>

#include "panel/balloon_geometry.h"

using namespace zk;

namespace {

bool Inside(const RectI& r, const RectI& area) {
    return r.left >= area.left && r.top >= area.top && r.right <= area.right && r.bottom <= area.bottom;
}

// Where the tail's tip is on the screen.
int TipAlong(const BalloonPlace& p, const BalloonShape& s) {
    const bool horizontal = p.side == TailSide::kBottom || p.side == TailSide::kTop;
    return (horizontal ? p.window.left : p.window.top) + p.tailStart + s.tailWidth / 2;
}

const RectI kMonitor{0, 0, 1920, 1080};

}  // namespace

TEST(BalloonGeometry, LengthsScaleWithTheDpiAndStayPutAt96) {
    EXPECT_EQ(ScaleToDpi(360, 96), 360);
    EXPECT_EQ(ScaleToDpi(360, 144), 540);
    EXPECT_EQ(ScaleToDpi(360, 192), 720);
    EXPECT_EQ(ScaleToDpi(22, 120), 28) << "27.5 rounds to the nearest pixel";
    EXPECT_EQ(ScaleToDpi(-12, 144), -18);
    const BalloonShape s = ShapeAt(360, 360, 144);
    EXPECT_EQ(s.width, 540);
    EXPECT_EQ(s.height, 540);
    EXPECT_EQ(s.tail, 30);
    EXPECT_EQ(s.tailOffset, 150);
}

TEST(BalloonGeometry, TaskbarAtTheBottomPlacesTheBalloonAsBefore) {
    const RectI work{0, 0, 1920, 1040};
    const RectI icon{1700, 1050, 1716, 1066};
    const BalloonShape s = ShapeAt(360, 360, 96);
    const BalloonPlace p = PlaceBalloon(icon, kMonitor, work, s);
    EXPECT_EQ(p.side, TailSide::kBottom);
    // Clamped into the work area vertically: the icon is on the taskbar below it.
    EXPECT_EQ(p.window.left, 1700 - 360 + 100);
    EXPECT_EQ(p.window.top, 1040 - 360);
    EXPECT_EQ(p.tailStart, 360 - 100) << "the tail 100 pixels from the right edge";
    // An icon higher up (a taller taskbar reaching into nothing): exactly icon top - height - 1.
    const RectI work2{0, 0, 1920, 1080 - 40};
    const BalloonPlace q = PlaceBalloon({1700, 1000, 1716, 1016}, kMonitor, {0, 0, 1920, 1080}, s);
    EXPECT_EQ(q.window.top, 1000 - 360 - 1);
    EXPECT_TRUE(Inside(PlaceBalloon(icon, kMonitor, work2, s).window, work2));
}

TEST(BalloonGeometry, TaskbarAtTheTopLeftOrRightTurnsTheTailTowardsTheIcon) {
    const BalloonShape s = ShapeAt(360, 360, 96);
    struct Case {
        RectI work, icon;
        TailSide side;
    } cases[] = {
        {{0, 40, 1920, 1080}, {1700, 12, 1716, 28}, TailSide::kTop},
        {{60, 0, 1920, 1080}, {22, 1000, 38, 1016}, TailSide::kLeft},
        {{0, 0, 1860, 1080}, {1882, 1000, 1898, 1016}, TailSide::kRight},
    };
    for (const Case& c : cases) {
        const BalloonPlace p = PlaceBalloon(c.icon, kMonitor, c.work, s);
        EXPECT_EQ(p.side, c.side);
        EXPECT_TRUE(Inside(p.window, c.work)) << "wholly in the work area, off the taskbar";
        const int iconFrom = c.side == TailSide::kTop ? c.icon.left : c.icon.top;
        const int iconTo = c.side == TailSide::kTop ? c.icon.right : c.icon.bottom;
        const int tip = TipAlong(p, s);
        EXPECT_GE(tip, iconFrom);
        EXPECT_LE(tip, iconTo) << "the tail points at the icon";
        // Beside the taskbar: touching the work area's edge next to the icon.
        const int near = c.side == TailSide::kTop ? p.window.top : c.side == TailSide::kLeft ? p.window.left : p.window.right;
        const int edge = c.side == TailSide::kTop ? c.work.top : c.side == TailSide::kLeft ? c.work.left : c.work.right;
        EXPECT_EQ(near, edge);
        const RectI body = BodyRect(p.side, s.width, s.height, s.tail);
        EXPECT_EQ((body.right - body.left) * (body.bottom - body.top), s.width * (s.height - s.tail)) << "the tail takes one strip";
    }
}

TEST(BalloonGeometry, TwoMonitorsTheBalloonStaysOnTheIconsMonitor) {
    // A second monitor at 150 % left of the primary, its taskbar at the bottom, the icon at its
    // left end: the balloon must not spill over onto the primary monitor.
    const RectI second{-2880, 0, 0, 1620}, work{-2880, 0, 0, 1560};
    const BalloonShape s = ShapeAt(360, 360, 144);
    const RectI icon{-2860, 1575, -2836, 1599};
    const BalloonPlace p = PlaceBalloon(icon, second, work, s);
    EXPECT_EQ(p.side, TailSide::kBottom);
    EXPECT_TRUE(Inside(p.window, work));
    EXPECT_EQ(p.window.left, -2880);
    const int tip = TipAlong(p, s);
    EXPECT_GE(tip, icon.left - s.corner) << "slid as far as the corner allows towards the icon";
    EXPECT_GE(p.tailStart, s.corner);
    // The same icon position on the primary's right end stays on the primary.
    const BalloonPlace q = PlaceBalloon({1900, 1050, 1916, 1066}, kMonitor, {0, 0, 1920, 1040}, ShapeAt(360, 360, 96));
    EXPECT_TRUE(Inside(q.window, {0, 0, 1920, 1040}));
    EXPECT_LE(q.tailStart, 360 - 15 - 20) << "the tail keeps clear of the rounded corner";
}

TEST(BalloonGeometry, AnIconInTheOverflowAreaAndNoTaskbar) {
    // Windows 10/11 show hidden icons in a flyout above the taskbar: the balloon goes above it.
    const RectI work{0, 0, 1920, 1040};
    const RectI flyoutIcon{1600, 960, 1624, 984};
    const BalloonShape s = ShapeAt(360, 360, 96);
    const BalloonPlace p = PlaceBalloon(flyoutIcon, kMonitor, work, s);
    EXPECT_EQ(p.side, TailSide::kBottom);
    EXPECT_EQ(p.window.top, 960 - 360 - 1);
    EXPECT_EQ(p.window.left, 1600 - 360 + 100);
    // An auto-hidden taskbar leaves no strip: the nearest side of the monitor decides.
    EXPECT_EQ(TaskbarSide({1700, 1070, 1716, 1080}, kMonitor, kMonitor), TailSide::kBottom);
    EXPECT_EQ(TaskbarSide({5, 500, 21, 516}, kMonitor, kMonitor), TailSide::kLeft);
    EXPECT_EQ(TaskbarSide({1700, 2, 1716, 18}, kMonitor, kMonitor), TailSide::kTop);
    // A balloon larger than the work area is pinned at its top left rather than off it.
    const BalloonPlace big = PlaceBalloon({100, 1050, 116, 1066}, kMonitor, {0, 0, 300, 200}, s);
    EXPECT_EQ(big.window.left, 0);
    EXPECT_EQ(big.window.top, 0);
}
