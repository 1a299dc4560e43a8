#pragma once

namespace zx {

// A rectangle of whole pixels; right and bottom lie just outside it.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    [[nodiscard]] bool contains(int x, int y) const
    {
        return x >= left && x < right && y >= top && y < bottom;
    }
    [[nodiscard]] int width() const { return right - left; }
    [[nodiscard]] int height() const { return bottom - top; }
    friend bool operator==(const PixelRect &, const PixelRect &) = default;
};

struct PixelPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PixelPoint &, const PixelPoint &) = default;
};

// What the layout pass and the shape read of the window: its outer and inside
// sizes in twips, and the screen's twips per pixel along each axis.
struct WindowTwips {
    double outerWidth = 0; // W, frame included
    double outerHeight = 0; // H
    double insideWidth = 0; // SW
    double insideHeight = 0; // SH
    int tppX = 15;
    int tppY = 15;
};

// Window geometry in twips, the unit the window's bounds are kept and stored in.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const TwipsRect &, const TwipsRect &) = default;
};

} // namespace zx
