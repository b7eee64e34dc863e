// The balloon's painter: what the balloon shows is a value (its frame, palette, caption, rows and
// drop count), and the painter draws that value onto a device context, with no window of its
// own; it keeps the last picture's base so that a paint of the table alone redraws only the
// values that changed. GDI+ must be started while a painter holds pictures.
// Thread: whoever owns the painter (the main thread).
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "panel/balloon_geometry.h"

namespace zk {

// The balloon's colours: the program's own palette, or the system's in high-contrast mode.
struct BalloonPalette {
    uint32_t frameOuter, frameInner, header, table, rowLight, rowGrey, readOnly, text, alert;
    uint32_t captionShadow, caption, cross, dropFill, dropEdge, dropText;
    bool highContrast = false;
    bool operator==(const BalloonPalette&) const = default;
};
inline COLORREF ToColorref(uint32_t argb) { return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF); }
// The palette the system asks for now (high contrast on or off).
[[nodiscard]] BalloonPalette CurrentBalloonPalette();

// One row of the table as the painter draws it.
struct BalloonRow {
    RectI labelRect, valueRect;
    int32_t kind, align;
    bool pathTrimming, alternate, alert, editing;
    std::wstring label, value;
    // Everything but the value: what the painter's base picture holds.
    [[nodiscard]] bool SameFrame(const BalloonRow& o) const {
        return labelRect == o.labelRect && valueRect == o.valueRect && kind == o.kind && alternate == o.alternate &&
               editing == o.editing && label == o.label;
    }
    [[nodiscard]] bool SameValue(const BalloonRow& o) const {
        return value == o.value && align == o.align && pathTrimming == o.pathTrimming && alert == o.alert;
    }
};

struct BalloonPicture {
    BalloonFrame frame;
    BalloonPalette palette{};
    std::wstring caption;
    std::vector<BalloonRow> rows;  // the visible ones, in order
    int dropCount = 0;             // drawn over the rows when above zero
};

class BalloonPainter {
public:
    BalloonPainter();
    ~BalloonPainter();
    BalloonPainter(const BalloonPainter&) = delete;
    BalloonPainter& operator=(const BalloonPainter&) = delete;

    // Paints the picture over the frame's whole size at (0, 0) of `dc`; `dirty` is the part the
    // system asked for.
    void Paint(HDC dc, const RECT& dirty, const BalloonPicture& picture);
    // Lets the kept pictures go (before GDI+ ends).
    void Forget();

private:
    struct Cache;
    std::unique_ptr<Cache> m_cache;
};

}  // namespace zk
