// A rectangle in pixels, right and bottom exclusive (as Win32's RECT).
#pragma once
#include <cstdint>

namespace zk {

struct RectI {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    [[nodiscard]] bool Contains(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const RectI&) const = default;
};

}  // namespace zk
