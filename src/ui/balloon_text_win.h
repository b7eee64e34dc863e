// The balloon's fonts at a DPI, shared by the painter and by whoever must know how large its
// texts come out (the window tests measure labels against their rectangles).
// GDI+ must be started.
#pragma once
#include "ui/gdiplus_include.h"

#include <memory>
#include <string>

namespace zk {

enum class BalloonFont { kCaption, kLabel, kValue, kAlert, kDropCount };

// The font in pixels: its 96-DPI point size scaled to `dpi`, so the text grows with the window
// and never a second time by the device's own DPI.
std::unique_ptr<Gdiplus::Font> MakeBalloonFont(BalloonFont which, int dpi);

// Width and height of `text` in that font: on one line, or wrapped at `wrapWidth` when it is
// above zero.
Gdiplus::SizeF MeasureBalloonText(const std::wstring& text, BalloonFont which, int dpi, float wrapWidth = 0);

}  // namespace zk
