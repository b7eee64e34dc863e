// The balloon's painter on its own: a picture is a value, painted into a memory bitmap with no
// window. A paint of the table alone after a value changed must come out pixel for pixel as a
// paint of the whole, and the drop count is drawn over the rows only while there is one.
#include <gtest/gtest.h>

#include "ui/gdiplus_include.h"

#include <vector>

#include "panel/stat_rows.h"
#include "ui/balloon_painter_win.h"
#include "ui/dib_win.h"

using namespace zk;

namespace {

BalloonPicture Sample(const std::wstring& queued, int dropCount) {
    BalloonPicture p;
    p.palette = CurrentBalloonPalette();
    p.caption = L"Статистика [v3.40 b1.0]";
    p.dropCount = dropCount;
    const RectI table = p.frame.Table();
    const wchar_t* labels[] = {L"Заданий в очереди", L"Отправлено файлов", L"Последняя ошибка"};
    for (int i = 0; i < 3; ++i) {
        const int top = table.top + i * 20;
        p.rows.push_back({{table.left, top, table.left + 120, top + 20}, {table.left + 124, top, table.right - 4, top + 20}, kRowReadOnly,
                          kAlignRight, false, i % 2 == 0, i == 2, false, labels[i], i == 0 ? queued : std::wstring(L"12")});
    }
    return p;
}

RECT Whole(const BalloonFrame& f) { return {0, 0, f.width, f.height}; }

}  // namespace

TEST(BalloonPainter, ATablePaintOfAChangedValueIsPixelForPixelAWholePaint) {
    ScopedGdiplus gdiplus;
    ASSERT_TRUE(gdiplus.Started());
    const BalloonPicture before = Sample(L"3", 0), after = Sample(L"4 (2 МБ)", 0);
    const BalloonFrame& f = before.frame;
    const RectI t = f.Table();
    const RECT table{t.left, t.top, t.right, t.bottom};

    test::Dib stepwise(f.width, f.height), whole(f.width, f.height);
    BalloonPainter kept, fresh;
    kept.Paint(stepwise.Dc(), Whole(f), before);
    const std::vector<uint32_t> first = stepwise.Pixels();
    kept.Paint(stepwise.Dc(), table, after);
    fresh.Paint(whole.Dc(), Whole(f), after);
    EXPECT_NE(stepwise.Pixels(), first) << "the new value was drawn";
    EXPECT_EQ(stepwise.Pixels(), whole.Pixels()) << "no trace of the old value, nothing else changed";

    // A drop count covers the rows while it lasts; without it the same picture comes back.
    BalloonPicture dropping = after;
    dropping.dropCount = 7;
    kept.Paint(stepwise.Dc(), table, dropping);
    EXPECT_NE(stepwise.Pixels(), whole.Pixels());
    kept.Paint(stepwise.Dc(), table, after);
    EXPECT_EQ(stepwise.Pixels(), whole.Pixels());
}
