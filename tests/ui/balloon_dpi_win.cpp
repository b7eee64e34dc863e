// The balloon at the session's DPI. The suite runs in the usual prefix (96 DPI) and again in
// prefixes whose LogPixels is 144 and 192 (ZK_EXPECT_DPI says which): the window grows by the
// DPI's factor, and every text still fits where it is drawn.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "ui/balloon_fixture_win.h"
#include "ui/balloon_text_win.h"

using namespace zk;
using namespace zk::test;
using namespace std::chrono_literals;

namespace {

int ExpectedDpi() {
    const char* v = std::getenv("ZK_EXPECT_DPI");
    return v && *v ? std::atoi(v) : 96;
}

float Width(const RectI& r) { return static_cast<float>(r.right - r.left); }
float Height(const RectI& r) { return static_cast<float>(r.bottom - r.top); }

}  // namespace

TEST_F(Balloon, AtTheSessionsDpiTheBalloonScalesAndEveryTextFits) {
    Select();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(balloon) != FALSE; }));
    const int dpi = window.Balloon()->Frame().dpi;
    ASSERT_EQ(dpi, ExpectedDpi()) << "the prefix's LogPixels is the window's DPI";
    EXPECT_EQ(Size().cx, 360 * dpi / 96);
    EXPECT_EQ(Size().cy, 360 * dpi / 96);

    // The caption inside the header, clear of the close box.
    const RectI body = window.Balloon()->Frame().Body();
    const Gdiplus::SizeF caption = MeasureBalloonText(window.Balloon()->Caption(), BalloonFont::kCaption, dpi);
    EXPECT_LE(ScaleToDpi(8, dpi) + caption.Height, static_cast<float>(ScaleToDpi(balloon96::kHeader, dpi)) + 1.0f);
    EXPECT_LE(static_cast<float>(body.left + ScaleToDpi(8, dpi)) + caption.Width, static_cast<float>(window.Balloon()->Frame().CloseBox().left));

    // Every label that fits at 96 DPI fits here; the page's text block shows all its lines.
    int rows = 0;
    for (CZKListEntry* e = Rows().Rows().First(); e; e = e->next) {
        if (!e->visible) continue;
        ++rows;
        if (e->kind == kRowTextBlock) {
            const float wrap = Width(e->labelRect) + Width(e->valueRect);
            const Gdiplus::SizeF at96 = MeasureBalloonText(e->value, BalloonFont::kValue, 96, wrap * 96 / dpi);
            const Gdiplus::SizeF here = MeasureBalloonText(e->value, BalloonFont::kValue, dpi, wrap);
            ASSERT_LE(at96.Height, Height(e->labelRect) * 96 / dpi) << "the text block shows all its lines at 96 DPI";
            EXPECT_LE(here.Height, Height(e->labelRect)) << "a line of the text block lost at " << dpi << " DPI";
            continue;
        }
        const float labelAt96 = MeasureBalloonText(e->label, BalloonFont::kLabel, 96).Width;
        const float label = MeasureBalloonText(e->label, BalloonFont::kLabel, dpi).Width;
        ASSERT_LE(labelAt96, Width(e->labelRect) * 96 / dpi) << "the page is laid out so its labels fit at 96 DPI";
        EXPECT_LE(label, Width(e->labelRect)) << "label cut at " << dpi << " DPI";
        EXPECT_GE(Height(e->labelRect), MeasureBalloonText(e->label, BalloonFont::kLabel, dpi).Height);
    }
    EXPECT_EQ(rows, 6);

    // ZK_BALLOON_SHOT=<file.bmp>: the painted balloon for the README (scripts/dpi_screenshots.sh).
    if (const char* shot = std::getenv("ZK_BALLOON_SHOT"); shot && *shot) {
        Rows().filesSent.SetValue(L"128");
        Rows().filesQueued.SetValue(L"12");
        Rows().currentTask.SetValue(L"Заказ 2026-12-08 Иванова");
        EXPECT_TRUE(PaintedWhole(balloon).SaveBmp(FromUtf8(shot)));
    }

    // The close box is where it is drawn, at this DPI too.
    const RectI close = window.Balloon()->Frame().CloseBox();
    PostMessageW(balloon, WM_LBUTTONDOWN, 0, MAKELPARAM((close.left + close.right) / 2, (close.top + close.bottom) / 2));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(balloon); }));
}
