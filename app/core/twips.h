#pragma once

#include "geometry.h"
#include "numbers.h"

namespace zx {

// Twips (1/1440 inch) and screen pixels of one screen. Bounds are kept and
// stored in twips; the window system places windows in pixels. Each axis
// converts with its own twips per pixel, rounding halves to even.
class TwipsScale {
public:
    TwipsScale(int tppX, int tppY)
        : m_tppX(tppX > 0 ? tppX : 1)
        , m_tppY(tppY > 0 ? tppY : 1)
    {
    }

    [[nodiscard]] int tppX() const { return m_tppX; }
    [[nodiscard]] int tppY() const { return m_tppY; }

    [[nodiscard]] int pixelsX(double twips) const { return toInt32Rounded(twips / m_tppX); }
    [[nodiscard]] int pixelsY(double twips) const { return toInt32Rounded(twips / m_tppY); }

    [[nodiscard]] TwipsRect toTwips(const PixelRect &r) const
    {
        return { saturateToInt32(double(r.left) * m_tppX), saturateToInt32(double(r.top) * m_tppY),
            saturateToInt32(double(r.width()) * m_tppX), saturateToInt32(double(r.height()) * m_tppY) };
    }

    // Left and top, width and height each rounded on their own, so a stored
    // size does not change with the place it is stored at.
    [[nodiscard]] PixelRect toPixels(const TwipsRect &r) const
    {
        const int left = pixelsX(r.left);
        const int top = pixelsY(r.top);
        return { left, top, left + pixelsX(r.width), top + pixelsY(r.height) };
    }

    // What the layout pass and the shape read of a window placed on this screen.
    [[nodiscard]] WindowTwips window(const PixelRect &outer, const PixelRect &inside) const
    {
        return { double(outer.width()) * m_tppX, double(outer.height()) * m_tppY,
            double(inside.width()) * m_tppX, double(inside.height()) * m_tppY, m_tppX, m_tppY };
    }

private:
    int m_tppX;
    int m_tppY;
};

} // namespace zx
