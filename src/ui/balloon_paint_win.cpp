// Painting of the balloon window: frame, header with caption and close box, and the rows of the
// statistics panel, drawn into a back buffer with GDI+ and put on the window in one pass.
#include "ui/gdiplus_include.h"

#include <memory>
#include <string>

#include "app/agent.h"
#include "session/event_journal.h"
#include "ui/zk_window_win.h"

namespace zk {
namespace {

using namespace Gdiplus;

// Palette, in the order the program sets it.
constexpr ARGB kFrameOuter = 0xFFCCCCCC, kFrameInner = 0xFFBEBEBE, kHeader = 0xFFAAAAAA, kTable = 0xFFE6E6E6;
constexpr ARGB kRowLight = 0xFFFFFFFF, kRowGrey = 0xFFDCDCDC, kReadOnly = 0xFF787878, kText = 0xFF464646, kAlert = 0xFFDC0000;
constexpr int kTail = 20, kTailOffset = 100, kTailWidth = 20;

// A font of the family, or of a generic sans-serif one when the family is missing (text must
// never silently disappear).
std::unique_ptr<Font> MakeFont(REAL points, INT style) {
    FontFamily family(L"Arial");
    if (family.GetLastStatus() == Ok) {
        auto f = std::make_unique<Font>(&family, points, style, UnitPoint);
        if (f->GetLastStatus() == Ok) return f;
    }
    return std::make_unique<Font>(FontFamily::GenericSansSerif(), points, style, UnitPoint);
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

void CZKWindow::Paint(HDC dc) {
    const int W = m_width, H = m_height;
    Bitmap buffer(W, H, PixelFormat32bppARGB);
    Graphics g(&buffer);
    g.SetSmoothingMode(SmoothingModeAntiAlias);
    g.SetTextRenderingHint(TextRenderingHintClearTypeGridFit);

    // Frame and header.
    SolidBrush back(Color{kTable});
    g.FillRectangle(&back, 0, 0, W, H);
    SolidBrush header(Color{kHeader});
    g.FillRectangle(&header, 0, 0, W, 30);
    GraphicsPath outline;
    RoundedRect(outline, 1, 1, static_cast<REAL>(W - 3), static_cast<REAL>(H - kTail - 2), 15);
    Pen thick(Color{kFrameOuter}, 4), thin(Color{kFrameInner}, 1);
    g.DrawPath(&thick, &outline);
    g.DrawPath(&thin, &outline);
    const PointF tail[] = {PointF(static_cast<REAL>(W - kTailOffset), static_cast<REAL>(H - kTail - 1)),
                           PointF(static_cast<REAL>(W - kTailOffset + kTailWidth / 2), static_cast<REAL>(H - 1)),
                           PointF(static_cast<REAL>(W - kTailOffset + kTailWidth), static_cast<REAL>(H - kTail - 1))};
    g.FillPolygon(&back, tail, 3);
    g.DrawLines(&thin, tail, 3);

    // Caption, twice: grey, then white one pixel off.
    const std::wstring title = m_agent && m_agent->Rows().CurrentPage() > 0 && m_caption.size() ? m_caption
                                                                                                   : std::wstring(L"Загрузчик VELMO® V3.40");
    const std::wstring caption = title + L" [v" + CEventJournal::kProgramVersion + L" b" + m_version + L"]";
    auto captionFont = MakeFont(10, FontStyleBold);
    SolidBrush grey(Color{0xFFB4B4B4}), white(Color{0xFFFFFFFF});
    g.DrawString(caption.c_str(), -1, captionFont.get(), PointF(7, 6), &grey);
    g.DrawString(caption.c_str(), -1, captionFont.get(), PointF(8, 7), &white);
    Pen cross(Color{0xFFFFFFFF}, 2);
    g.DrawLine(&cross, W - 18, 8, W - 11, 15);
    g.DrawLine(&cross, W - 18, 15, W - 11, 8);

    if (m_agent) {
        auto labelFont = MakeFont(8, FontStyleBold);
        auto valueFont = MakeFont(8, FontStyleRegular);
        auto alertFont = MakeFont(8, FontStyleBold);
        CZKLockedList& rows = m_agent->Rows().Rows();
        std::lock_guard lock(rows.Mutex());
        for (CZKListEntry* e = rows.First(); e; e = e->next) {
            if (!e->visible) continue;
            SolidBrush rowBrush(Color{e->alternate ? kRowLight : kRowGrey});
            const RectF label = ToRectF(e->labelRect), value = ToRectF(e->valueRect);
            g.FillRectangle(&rowBrush, label.X, label.Y, value.GetRight() - label.X + 3, label.Height);
            StringFormat labelFormat;
            labelFormat.SetTrimming(StringTrimmingEllipsisCharacter);
            labelFormat.SetLineAlignment(StringAlignmentCenter);
            labelFormat.SetFormatFlags(StringFormatFlagsNoWrap);
            SolidBrush textBrush(Color{kText});
            if (e->kind != kRowTextBlock) g.DrawString(e->label.c_str(), -1, labelFont.get(), label, &labelFormat, &textBrush);
            if (e == m_editing) continue;  // the edit control covers it
            StringFormat valueFormat;
            valueFormat.SetLineAlignment(StringAlignmentCenter);
            valueFormat.SetAlignment(e->attrA == kAlignRight ? StringAlignmentFar : e->attrA == kAlignCenter ? StringAlignmentCenter
                                                                                                                : StringAlignmentNear);
            RectF area = value;
            if (e->kind == kRowTextBlock) {
                area = RectF(label.X, label.Y, value.GetRight() - label.X, label.Height);
                valueFormat.SetTrimming(StringTrimmingEllipsisWord);
            } else {
                valueFormat.SetFormatFlags(StringFormatFlagsNoWrap);
                valueFormat.SetTrimming(e->attrB ? StringTrimmingEllipsisPath : StringTrimmingEllipsisCharacter);
            }
            const std::wstring text = e == &m_agent->Rows().userPasswd ? std::wstring(L"*****") : e->value;
            const bool alert = e->alert.load();
            SolidBrush valueBrush(Color{alert ? kAlert : e->kind == kRowReadOnly ? kReadOnly : kText});
            g.DrawString(text.c_str(), -1, alert ? alertFont.get() : valueFont.get(), area, &valueFormat, &valueBrush);
        }
    }

    const int pending = DropPending();
    if (pending > 0) {
        GraphicsPath box;
        RoundedRect(box, 40, 80, static_cast<REAL>(W - 80), 80, 20);
        SolidBrush fill(Color{0x640000C8});
        Pen edge(Color{0x64000064}, 2);
        g.FillPath(&fill, &box);
        g.DrawPath(&edge, &box);
        auto big = MakeFont(24, FontStyleBold);
        StringFormat center;
        center.SetAlignment(StringAlignmentCenter);
        center.SetLineAlignment(StringAlignmentCenter);
        const std::wstring count = std::to_wstring(pending);
        SolidBrush white2(Color{0xFFFFFFFF});
        g.DrawString(count.c_str(), -1, big.get(), RectF(40, 80, static_cast<REAL>(W - 80), 80), &center, &white2);
    }

    Graphics screen(dc);
    screen.DrawImage(&buffer, 0, 0);
}

}  // namespace zk
