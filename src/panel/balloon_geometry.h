// The balloon's geometry at a DPI: the 96-DPI lengths of the window scaled to the monitor, the
// side its tail is on, and where it goes beside the tray icon. Pure functions: the window code
// feeds them the icon's rectangle and its monitor, and the tests feed them any screen layout.
#pragma once
#include <cstdint>

#include "tasks/locked_list.h"

namespace zk {

inline constexpr int kBaseDpi = 96;

// A 96-DPI length at `dpi`, rounded to the nearest pixel.
[[nodiscard]] constexpr int ScaleToDpi(int length96, int dpi) {
    const int64_t v = static_cast<int64_t>(length96) * dpi;
    return static_cast<int>(v >= 0 ? (v + kBaseDpi / 2) / kBaseDpi : -((-v + kBaseDpi / 2) / kBaseDpi));
}

// The 96-DPI lengths of the balloon.
namespace balloon96 {
inline constexpr int kHeader = 30;        // header strip with the caption and the close box
inline constexpr int kMargin = 10;        // table area inset from the body's sides and bottom
inline constexpr int kTail = 20;          // tail height (its reach out of the body)
inline constexpr int kTailWidth = 20;     // tail base
inline constexpr int kTailOffset = 100;   // tail base start from the far end of its edge
inline constexpr int kCorner = 15;        // corner ellipse
inline constexpr int kCloseRight = 18;    // close cross from the body's right edge
inline constexpr int kCloseTop = 8;
inline constexpr int kCloseSize = 7;
inline constexpr int kEditFont = 12;      // editor font height in pixels
}  // namespace balloon96

// The side of the balloon that its tail leaves from, which faces the tray icon.
enum class TailSide { kBottom, kTop, kLeft, kRight };

// Where the taskbar is on the icon's monitor: the side where the work area stops short of the
// monitor. With none (an auto-hidden taskbar, a desktop without one) the icon's nearest side.
[[nodiscard]] TailSide TaskbarSide(const RectI& icon, const RectI& monitor, const RectI& work);

struct BalloonPlace {
    RectI window;            // screen rectangle, wholly inside the work area
    TailSide side = TailSide::kBottom;
    int tailStart = 0;       // window coordinate where the tail's base starts along its side
};

struct BalloonShape {
    int width = 0, height = 0;      // the window, scaled
    int tail = 0, tailWidth = 0;    // scaled tail height and base
    int tailOffset = 0;             // scaled offset of the tail base from the far end of its side
    int corner = 0;                 // scaled corner size: the tail keeps clear of the corners
};

[[nodiscard]] BalloonShape ShapeAt(int width96, int height96, int dpi);

// With the taskbar at the bottom: left = icon left - width + tail offset, top = icon top -
// height - 1, so the tail points at the icon. At the top it goes below the icon, at the left
// or right beside it, the tail on the side facing the icon. The window is then moved wholly
// inside the work area, and the tail slides along its side to keep pointing at the icon.
[[nodiscard]] BalloonPlace PlaceBalloon(const RectI& icon, const RectI& monitor, const RectI& work, const BalloonShape& shape);

// The body (the rounded rectangle) inside a width x height window with its tail on `side`.
[[nodiscard]] RectI BodyRect(TailSide side, int width, int height, int tail);

struct PointI {
    int x = 0, y = 0;
};
// The tail: the two ends of its base on the body's side, and its tip on the window's edge.
struct TailTriangle {
    PointI baseFrom, tip, baseTo;
};
[[nodiscard]] TailTriangle TailAt(TailSide side, int width, int height, int tail, int tailStart, int tailWidth);

// The balloon as placed: its size and DPI, and its tail's side and start. The rectangles inside
// it follow from these alone.
struct BalloonFrame {
    int width = 300, height = 500, dpi = kBaseDpi;
    TailSide side = TailSide::kBottom;
    int tailStart = 300 - balloon96::kTailOffset;

    [[nodiscard]] int Scaled(int length96) const { return ScaleToDpi(length96, dpi); }
    // The rounded body, without the tail.
    [[nodiscard]] RectI Body() const { return BodyRect(side, width, height, Scaled(balloon96::kTail)); }
    // The rows' area: the body below its header, inside its margin.
    [[nodiscard]] RectI Table() const;
    // Where a click closes the balloon: the cross in the header and a little around it.
    [[nodiscard]] RectI CloseBox() const;
    bool operator==(const BalloonFrame&) const = default;
};

}  // namespace zk
