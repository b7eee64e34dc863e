// A 32-bit top-down bitmap selected into a memory DC, for reading pixels back: what the screen
// shows (the fixture's screenshots) or what the painter drew.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

namespace zk::test {

class Dib {
public:
    Dib(int width, int height) : m_width(width), m_height(height), m_dc(CreateCompatibleDC(nullptr)) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        m_bitmap = CreateDIBSection(m_dc, &bi, DIB_RGB_COLORS, &m_bits, nullptr, 0);
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~Dib() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;

    [[nodiscard]] HDC Dc() const { return m_dc; }
    // As the bitmap holds them (0xAARRGGBB), row by row from the top.
    [[nodiscard]] std::vector<uint32_t> RawPixels() const {
        GdiFlush();
        const auto* p = static_cast<const uint32_t*>(m_bits);
        return {p, p + static_cast<size_t>(m_width) * static_cast<size_t>(m_height)};
    }
    // 0xRRGGBB.
    [[nodiscard]] std::vector<uint32_t> Pixels() const {
        std::vector<uint32_t> out = RawPixels();
        for (uint32_t& v : out) v &= 0xFFFFFF;
        return out;
    }

private:
    int m_width, m_height;
    HDC m_dc;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    void* m_bits = nullptr;
};

}  // namespace zk::test
