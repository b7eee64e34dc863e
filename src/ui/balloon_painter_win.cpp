// Painting of the balloon: frame, header with caption and close box, and the rows of the
// statistics panel, drawn into a back buffer with GDI+ and put on the device in one pass.
// Every length is the 96-DPI length scaled to the frame's DPI; fonts are sized in pixels.
// Thread: the painter's owner (the main thread), which alone holds its pictures.
#include "ui/balloon_painter_win.h"

#include "ui/gdiplus_include.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "panel/stat_rows.h"
#include "ui/balloon_text_win.h"

namespace zk {
namespace {

using namespace Gdiplus;

constexpr BalloonPalette kProgramPalette{0xFFCCCCCC, 0xFFBEBEBE, 0xFFAAAAAA, 0xFFE6E6E6, 0xFFFFFFFF, 0xFFDCDCDC, 0xFF787878, 0xFF464646,
                                         0xFFDC0000, 0xFFB4B4B4, 0xFFFFFFFF, 0xFFFFFFFF, 0x640000C8, 0x64000064, 0xFFFFFFFF, false};

uint32_t SystemColour(int index) {
    const COLORREF c = GetSysColor(index);
    return 0xFF000000u | (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

// High contrast: the user's own colours, and no shading that only the program's palette
// can tell apart.
BalloonPalette SystemPalette() {
    const uint32_t window = SystemColour(COLOR_WINDOW), text = SystemColour(COLOR_WINDOWTEXT), frame = SystemColour(COLOR_WINDOWFRAME);
    const uint32_t highlight = SystemColour(COLOR_HIGHLIGHT), highlightText = SystemColour(COLOR_HIGHLIGHTTEXT);
    return {frame, frame, highlight, window, window, window, text, text, SystemColour(COLOR_HOTLIGHT), highlight, highlightText,
            highlightText, highlight, frame, highlightText, true};
}

struct FontLook {
    REAL points;
    INT style;
};

FontLook LookOf(BalloonFont which) {
    switch (which) {
        case BalloonFont::kCaption: return {10, FontStyleBold};
        case BalloonFont::kLabel: return {8, FontStyleBold};
        case BalloonFont::kValue: return {8, FontStyleRegular};
        case BalloonFont::kAlert: return {8, FontStyleBold};
        case BalloonFont::kDropCount: return {24, FontStyleBold};
    }
    return {8, FontStyleRegular};
}

RectF ToRectF(const RectI& r) {
    return RectF(static_cast<REAL>(r.left), static_cast<REAL>(r.top), static_cast<REAL>(r.right - r.left),
                 static_cast<REAL>(r.bottom - r.top));
}

void RoundedRect(GraphicsPath& path, REAL x, REAL y, REAL w, REAL h, REAL r) {
    path.AddArc(x, y, r, r, 180, 90);
    path.AddArc(x + w - r, y, r, r, 270, 90);
    path.AddArc(x + w - r, y + h - r, r, r, 0, 90);
    path.AddArc(x, y + h - r, r, r, 90, 90);
    path.CloseFigure();
}

}  // namespace

std::unique_ptr<Font> MakeBalloonFont(BalloonFont which, int dpi) {
    const FontLook look = LookOf(which);
    const REAL pixels = look.points * static_cast<REAL>(dpi) / 72.0f;
    // A font of the family, or of a generic sans-serif one when the family is missing (text must
    // never silently disappear).
    FontFamily family(L"Arial");
    if (family.GetLastStatus() == Ok) {
        auto f = std::make_unique<Font>(&family, pixels, look.style, UnitPixel);
        if (f->GetLastStatus() == Ok) return f;
    }
    return std::make_unique<Font>(FontFamily::GenericSansSerif(), pixels, look.style, UnitPixel);
}

SizeF MeasureBalloonText(const std::wstring& text, BalloonFont which, int dpi, float wrapWidth) {
    Bitmap scratch(1, 1, PixelFormat32bppARGB);
    Graphics g(&scratch);
    g.SetTextRenderingHint(TextRenderingHintClearTypeGridFit);
    const auto font = MakeBalloonFont(which, dpi);
    StringFormat format;
    if (wrapWidth <= 0) format.SetFormatFlags(StringFormatFlagsNoWrap);
    RectF bounds;
    g.MeasureString(text.c_str(), -1, font.get(), RectF(0, 0, wrapWidth > 0 ? wrapWidth : 100000.0f, 100000.0f), &format, &bounds);
    return {bounds.Width, bounds.Height};
}

BalloonPalette CurrentBalloonPalette() {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof(hc);
    const bool high = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(hc), &hc, 0) && (hc.dwFlags & HCF_HIGHCONTRASTON);
    return high ? SystemPalette() : kProgramPalette;
}

// The base picture is everything but the values and the drop count: frame, header, caption,
// the rows' backgrounds and labels. It is drawn again only when one of them changes; a paint
// of the table alone then draws only the values that changed, each on its row's pixels copied
// from the base, which comes out pixel for pixel as a paint of the whole.
struct BalloonPainter::Cache {
    BalloonFrame frame{0, 0, 0, TailSide::kBottom, 0};
    BalloonPalette palette{};
    std::wstring caption;
    std::vector<BalloonRow> rows;  // as `shown` draws them
    bool dropCountShown = false;   // `shown` has the drop count over its rows
    std::unique_ptr<Bitmap> base, shown;
};

BalloonPainter::BalloonPainter() = default;
BalloonPainter::~BalloonPainter() = default;
void BalloonPainter::Forget() { m_cache.reset(); }

namespace {

// The pixels of `area` from one picture of the window's size onto another.
void CopyPixels(Bitmap& from, Bitmap& to, const Rect& area) {
    if (area.Width <= 0 || area.Height <= 0) return;
    BitmapData src{}, dst{};
    if (from.LockBits(&area, ImageLockModeRead, PixelFormat32bppARGB, &src) != Ok) return;
    if (to.LockBits(&area, ImageLockModeWrite, PixelFormat32bppARGB, &dst) == Ok) {
        for (INT y = 0; y < area.Height; ++y)
            std::memcpy(static_cast<char*>(dst.Scan0) + static_cast<ptrdiff_t>(y) * dst.Stride,
                        static_cast<const char*>(src.Scan0) + static_cast<ptrdiff_t>(y) * src.Stride, static_cast<size_t>(area.Width) * 4);
        to.UnlockBits(&dst);
    }
    from.UnlockBits(&src);
}

// The pixels a row paints: its background reaches `extra` beyond the value's rectangle.
Rect RowPixels(const BalloonRow& r, REAL extra, int width, int height) {
    const INT left = std::max<INT>(r.labelRect.left, 0), top = std::max<INT>(r.labelRect.top, 0);
    const INT right = std::min<INT>(static_cast<INT>(std::ceil(static_cast<REAL>(r.valueRect.right) + extra)) + 1, width);
    const INT bottom = std::min<INT>(r.labelRect.bottom, height);
    return Rect(left, top, std::max<INT>(right - left, 0), std::max<INT>(bottom - top, 0));
}

void SetUp(Graphics& g) {
    g.SetSmoothingMode(SmoothingModeAntiAlias);
    g.SetTextRenderingHint(TextRenderingHintClearTypeGridFit);
}

}  // namespace

void BalloonPainter::Paint(HDC dc, const RECT& dirty, const BalloonPicture& picture) {
    const BalloonFrame& f = picture.frame;
    const int W = f.width, H = f.height, dpi = f.dpi;
    const TailSide side = f.side;
    const RectI b = f.Body();
    const auto S = [dpi](double v) { return static_cast<REAL>(v * dpi / kBaseDpi); };
    const REAL bw = static_cast<REAL>(b.right - b.left), bh = static_cast<REAL>(b.bottom - b.top);
    const REAL bx = static_cast<REAL>(b.left), by = static_cast<REAL>(b.top);
    const BalloonPalette& c = picture.palette;
    const std::wstring& caption = picture.caption;
    const std::vector<BalloonRow>& rows = picture.rows;
    const int pending = picture.dropCount;
    if (!m_cache) m_cache = std::make_unique<Cache>();
    Cache& cache = *m_cache;

    const bool sameBase = cache.base && cache.frame == f && cache.palette == c && cache.caption == caption &&
                          std::equal(rows.begin(), rows.end(), cache.rows.begin(), cache.rows.end(),
                                     [](const BalloonRow& x, const BalloonRow& y) { return x.SameFrame(y); });
    if (!sameBase) {
        auto base = std::make_unique<Bitmap>(W, H, PixelFormat32bppARGB);
        Graphics g(base.get());
        SetUp(g);

        // Frame and header.
        SolidBrush back(Color{c.table});
        g.FillRectangle(&back, 0, 0, W, H);
        SolidBrush header(Color{c.header});
        g.FillRectangle(&header, bx, by, bw, S(balloon96::kHeader));
        GraphicsPath outline;
        RoundedRect(outline, bx + 1, by + 1, bw - 3, bh - 2, S(balloon96::kCorner));
        Pen thick(Color{c.frameOuter}, S(4)), thin(Color{c.frameInner}, std::max<REAL>(1, S(1)));
        g.DrawPath(&thick, &outline);
        g.DrawPath(&thin, &outline);
        const TailTriangle t = TailAt(side, W, H, f.Scaled(balloon96::kTail), f.tailStart, f.Scaled(balloon96::kTailWidth));
        // The tail's outline one pixel inside the window's far edge, where the region still paints.
        const REAL dx = side == TailSide::kRight ? -1.0f : 0.0f, dy = side == TailSide::kBottom ? -1.0f : 0.0f;
        const auto point = [&](const PointI& p) { return PointF(static_cast<REAL>(p.x) + dx, static_cast<REAL>(p.y) + dy); };
        const PointF tail[] = {point(t.baseFrom), point(t.tip), point(t.baseTo)};
        g.FillPolygon(&back, tail, 3);
        g.DrawLines(&thin, tail, 3);

        // Caption, twice: a shadow, then the caption one pixel off.
        auto captionFont = MakeBalloonFont(BalloonFont::kCaption, dpi);
        SolidBrush shadow(Color{c.captionShadow}), white(Color{c.caption});
        g.DrawString(caption.c_str(), -1, captionFont.get(), PointF(bx + S(7), by + S(6)), &shadow);
        g.DrawString(caption.c_str(), -1, captionFont.get(), PointF(bx + S(8), by + S(7)), &white);
        Pen cross(Color{c.cross}, S(2));
        const REAL crossX = static_cast<REAL>(b.right) - S(balloon96::kCloseRight), crossY = by + S(balloon96::kCloseTop);
        const REAL crossSize = S(balloon96::kCloseSize);
        g.DrawLine(&cross, crossX, crossY, crossX + crossSize, crossY + crossSize);
        g.DrawLine(&cross, crossX, crossY + crossSize, crossX + crossSize, crossY);

        // The rows' backgrounds and labels.
        auto labelFont = MakeBalloonFont(BalloonFont::kLabel, dpi);
        StringFormat labelFormat;
        labelFormat.SetTrimming(StringTrimmingEllipsisCharacter);
        labelFormat.SetLineAlignment(StringAlignmentCenter);
        labelFormat.SetFormatFlags(StringFormatFlagsNoWrap);
        SolidBrush textBrush(Color{c.text});
        for (const BalloonRow& r : rows) {
            SolidBrush rowBrush(Color{r.alternate ? c.rowLight : c.rowGrey});
            const RectF label = ToRectF(r.labelRect), value = ToRectF(r.valueRect);
            g.FillRectangle(&rowBrush, label.X, label.Y, value.GetRight() - label.X + S(3), label.Height);
            if (r.kind != kRowTextBlock) g.DrawString(r.label.c_str(), -1, labelFont.get(), label, &labelFormat, &textBrush);
        }
        cache.base = std::move(base);
        cache.frame = f;
        cache.palette = c;
        cache.caption = caption;
    }

    // A paint of the table alone, on a picture without the drop count, draws only what changed.
    const RectI table = f.Table();
    const bool tableOnly = dirty.left >= table.left && dirty.top >= table.top && dirty.right <= table.right && dirty.bottom <= table.bottom;
    const bool onlyChanges = sameBase && tableOnly && cache.shown && !cache.dropCountShown;
    if (!onlyChanges) {
        cache.shown = std::make_unique<Bitmap>(W, H, PixelFormat32bppARGB);
        CopyPixels(*cache.base, *cache.shown, Rect(0, 0, W, H));
    }
    {
        Graphics g(cache.shown.get());
        SetUp(g);
        auto valueFont = MakeBalloonFont(BalloonFont::kValue, dpi);
        auto alertFont = MakeBalloonFont(BalloonFont::kAlert, dpi);
        for (size_t i = 0; i < rows.size(); ++i) {
            const BalloonRow& r = rows[i];
            if (onlyChanges) {
                if (r.SameValue(cache.rows[i])) continue;
                CopyPixels(*cache.base, *cache.shown, RowPixels(r, S(3), W, H));
            }
            if (r.editing) continue;  // the edit control covers it
            StringFormat valueFormat;
            valueFormat.SetLineAlignment(StringAlignmentCenter);
            valueFormat.SetAlignment(r.align == kAlignRight ? StringAlignmentFar : r.align == kAlignCenter ? StringAlignmentCenter
                                                                                                           : StringAlignmentNear);
            const RectF label = ToRectF(r.labelRect), value = ToRectF(r.valueRect);
            RectF area = value;
            if (r.kind == kRowTextBlock) {
                area = RectF(label.X, label.Y, value.GetRight() - label.X, label.Height);
                valueFormat.SetTrimming(StringTrimmingEllipsisWord);
            } else {
                valueFormat.SetFormatFlags(StringFormatFlagsNoWrap);
                valueFormat.SetTrimming(r.pathTrimming ? StringTrimmingEllipsisPath : StringTrimmingEllipsisCharacter);
            }
            SolidBrush valueBrush(Color{r.alert ? c.alert : r.kind == kRowReadOnly ? c.readOnly : c.text});
            g.DrawString(r.value.c_str(), -1, r.alert ? alertFont.get() : valueFont.get(), area, &valueFormat, &valueBrush);
        }

        if (pending > 0) {
            const RectF box(bx + S(40), by + S(80), bw - S(80), S(80));
            GraphicsPath path;
            RoundedRect(path, box.X, box.Y, box.Width, box.Height, S(20));
            SolidBrush fill(Color{c.dropFill});
            Pen edge(Color{c.dropEdge}, S(2));
            g.FillPath(&fill, &path);
            g.DrawPath(&edge, &path);
            auto big = MakeBalloonFont(BalloonFont::kDropCount, dpi);
            StringFormat center;
            center.SetAlignment(StringAlignmentCenter);
            center.SetLineAlignment(StringAlignmentCenter);
            const std::wstring count = std::to_wstring(pending);
            SolidBrush countBrush(Color{c.dropText});
            g.DrawString(count.c_str(), -1, big.get(), box, &center, &countBrush);
        }
    }
    cache.rows = rows;
    cache.dropCountShown = pending > 0;

    // Pixel for pixel: the buffer's own resolution must not rescale it.
    Graphics screen(dc);
    screen.SetInterpolationMode(InterpolationModeNearestNeighbor);
    screen.DrawImage(cache.shown.get(), Rect(0, 0, W, H), 0, 0, W, H, UnitPixel);
}

}  // namespace zk
