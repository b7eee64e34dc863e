#include "panel/balloon_geometry.h"

#include <algorithm>

namespace zk {
namespace {

int Clamp(int v, int lo, int hi) { return hi < lo ? lo : std::clamp(v, lo, hi); }

}  // namespace

TailSide TaskbarSide(const RectI& icon, const RectI& monitor, const RectI& work) {
    // The side with the widest strip between the work area and the monitor's edge.
    const int bottom = monitor.bottom - work.bottom, top = work.top - monitor.top;
    const int left = work.left - monitor.left, right = monitor.right - work.right;
    const int widest = std::max({bottom, top, left, right});
    if (widest > 0) {
        if (bottom == widest) return TailSide::kBottom;
        if (top == widest) return TailSide::kTop;
        if (left == widest) return TailSide::kLeft;
        return TailSide::kRight;
    }
    const int cx = (icon.left + icon.right) / 2, cy = (icon.top + icon.bottom) / 2;
    const int toBottom = monitor.bottom - cy, toTop = cy - monitor.top;
    const int toLeft = cx - monitor.left, toRight = monitor.right - cx;
    const int nearest = std::min({toBottom, toTop, toLeft, toRight});
    if (toBottom == nearest) return TailSide::kBottom;
    if (toTop == nearest) return TailSide::kTop;
    if (toLeft == nearest) return TailSide::kLeft;
    return TailSide::kRight;
}

BalloonShape ShapeAt(int width96, int height96, int dpi) {
    BalloonShape s;
    s.width = ScaleToDpi(width96, dpi);
    s.height = ScaleToDpi(height96, dpi);
    s.tail = ScaleToDpi(balloon96::kTail, dpi);
    s.tailWidth = ScaleToDpi(balloon96::kTailWidth, dpi);
    s.tailOffset = ScaleToDpi(balloon96::kTailOffset, dpi);
    s.corner = ScaleToDpi(balloon96::kCorner, dpi);
    return s;
}

BalloonPlace PlaceBalloon(const RectI& icon, const RectI& monitor, const RectI& work, const BalloonShape& s) {
    BalloonPlace p;
    p.side = TaskbarSide(icon, monitor, work);
    const int w = s.width, h = s.height;
    const bool horizontal = p.side == TailSide::kBottom || p.side == TailSide::kTop;
    // The tail tip is tailWidth / 2 past the base start; the base starts tailOffset before the
    // far end of its side, as with the taskbar at the bottom.
    int left, top;
    if (horizontal) {
        left = icon.left - w + s.tailOffset;
        top = p.side == TailSide::kBottom ? icon.top - h - 1 : icon.bottom + 1;
    } else {
        top = icon.top - h + s.tailOffset;
        left = p.side == TailSide::kRight ? icon.left - w - 1 : icon.right + 1;
    }
    left = Clamp(left, work.left, work.right - w);
    top = Clamp(top, work.top, work.bottom - h);
    p.window = {left, top, left + w, top + h};
    // The tail base starts level with the icon's near edge (with the taskbar at the bottom and
    // nothing moved, width - tail offset), kept on the straight part of its side.
    const int length = horizontal ? w : h;
    const int wanted = horizontal ? icon.left - left : icon.top - top;
    p.tailStart = Clamp(wanted, s.corner, length - s.corner - s.tailWidth);
    return p;
}

RectI BodyRect(TailSide side, int width, int height, int tail) {
    switch (side) {
        case TailSide::kTop: return {0, tail, width, height};
        case TailSide::kLeft: return {tail, 0, width, height};
        case TailSide::kRight: return {0, 0, width - tail, height};
        case TailSide::kBottom: break;
    }
    return {0, 0, width, height - tail};
}

TailTriangle TailAt(TailSide side, int width, int height, int tail, int tailStart, int tailWidth) {
    const int mid = tailStart + tailWidth / 2, end = tailStart + tailWidth;
    switch (side) {
        case TailSide::kTop: return {{tailStart, tail}, {mid, 0}, {end, tail}};
        case TailSide::kLeft: return {{tail, tailStart}, {0, mid}, {tail, end}};
        case TailSide::kRight: return {{width - tail, tailStart}, {width, mid}, {width - tail, end}};
        case TailSide::kBottom: break;
    }
    return {{tailStart, height - tail}, {mid, height}, {end, height - tail}};
}

RectI BalloonFrame::Table() const {
    const RectI b = Body();
    const int margin = Scaled(balloon96::kMargin);
    return {b.left + margin, b.top + Scaled(balloon96::kHeader), b.right - margin, b.bottom - margin};
}

RectI BalloonFrame::CloseBox() const {
    const RectI b = Body();
    return {b.right - Scaled(20), b.top + Scaled(6), b.right - Scaled(9) + 1, b.top + Scaled(17) + 1};
}

}  // namespace zk
