// Repaints of the balloon's table under Wine and Xvfb: a repaint of the table draws only the rows
// whose values changed, on a kept picture of the rest, and must come out as a paint of the whole.
// Also run in the 144 and 192 DPI prefixes, where a row's background ends between pixels.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>

#include "ui/balloon_fixture_win.h"

using namespace zk;
using namespace zk::test;
using namespace std::chrono_literals;

namespace {

// The pixels of a window-coordinate rectangle that differ between two screenshots.
int Differing(const Screenshot& a, const Screenshot& b, const RectI& r) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) n += a.At(x, y) != b.At(x, y);
    return n;
}

}  // namespace

TEST_F(Balloon, ATableRepaintDrawsTheChangedValuesAsAPaintOfTheWholeDoes) {
    // Authenticated first: the rows then change only as this test changes them.
    ASSERT_TRUE(PumpUntil([&] { return Rows().authStatus.Value() == L"выполнена"; }));
    Select();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(balloon) != FALSE; }));
    PumpUntil([] { return false; }, 300ms);
    const std::wstring files0 = Rows().filesSent.Value(), current0 = Rows().currentFile.Value(), errors0 = Rows().errorsCount.Value();
    RECT client{};
    GetClientRect(balloon, &client);
    const RectI whole{0, 0, client.right, client.bottom};
    const Screenshot before = Steady(balloon, ShotOf::kWindow);

    // Changes as a worker makes them: a value set, then the table asked to repaint.
    const auto change = [&](CZKListEntry& row, const wchar_t* value, bool alert = false) {
        row.SetValue(value);
        row.alert = alert;
        window.InvalidateTable();
        // Until the repaint is done, however long a loaded machine takes for it.
        ASSERT_TRUE(PumpUntil([&] { return window.Balloon()->TableSettled(); }));
    };
    change(Rows().filesSent, L"128");
    const Screenshot shown = Steady(balloon, ShotOf::kWindow);
    EXPECT_GT(Differing(before, shown, Rows().filesSent.valueRect), 0) << "the new value is on the screen";
    RectI others = Rows().filesSent.valueRect;
    others.top = Rows().filesSent.labelRect.bottom;
    others.bottom = whole.bottom;
    EXPECT_EQ(Differing(before, shown, others), 0) << "the rows below it did not change";

    change(Rows().currentFile, L"C:\\Заказы\\2026-12-08 Иванова\\фото с очень длинным именем для проверки.jpg");
    change(Rows().errorsCount, L"3", true);        // in the alert font and colour
    change(Rows().filesSent, L"7");                 // shorter: nothing of "128" may stay
    change(Rows().currentFile, L"a.jpg");
    change(Rows().errorsCount, L"3", false);        // the same text, out of the alert colour
    const Screenshot afterChanges = Steady(balloon, ShotOf::kWindow);

    EXPECT_EQ(Differing(afterChanges, PaintedWhole(balloon, 250ms, ShotOf::kWindow), whole), 0) << "a repaint of the table left pixels a whole paint does not draw";

    // Back to the first values, each repainted alone after a whole paint.
    Rows().filesSent.SetValue(files0);
    Rows().currentFile.SetValue(current0);
    change(Rows().errorsCount, errors0.c_str());
    const Screenshot restored = Steady(balloon, ShotOf::kWindow);
    EXPECT_EQ(Differing(restored, PaintedWhole(balloon, 250ms, ShotOf::kWindow), whole), 0);
}
