#include "shape.h"

#include "numbers.h"

namespace zx {

namespace {

int px(double v)
{
    return toInt32Rounded(v);
}

} // namespace

bool bandContains(const Band &band, double x, double y)
{
    // Non-zero winding number of the closed polygon around (x, y).
    int winding = 0;
    for (std::size_t i = 0; i + 1 < band.size(); ++i) {
        const double x0 = band[i].x, y0 = band[i].y;
        const double x1 = band[i + 1].x, y1 = band[i + 1].y;
        const double cross = (x1 - x0) * (y - y0) - (x - x0) * (y1 - y0);
        if (y0 <= y) {
            if (y1 > y && cross > 0)
                ++winding;
        } else if (y1 <= y && cross < 0) {
            --winding;
        }
    }
    return winding != 0;
}

bool Shape::contains(int x, int y) const
{
    if (whole.contains(x, y) && !inside.contains(x, y))
        return true;
    for (const auto &box : boxes) {
        if (box.contains(x, y))
            return true;
    }
    for (const auto &band : bands) {
        if (bandContains(band, x + 0.5, y + 0.5))
            return true;
    }
    return false;
}

Shape computeShape(const ShapeInput &input)
{
    const WindowTwips &in = input.window;
    const double tppX = in.tppX;
    const double tppY = in.tppY;
    const double b = (in.outerWidth - in.insideWidth) / 2.0;
    const double t = in.outerHeight - in.insideHeight - b;
    const double bp = b / tppX;
    const double tp = t / tppY;
    const double wp = in.outerWidth / tppX;
    const double hp = in.outerHeight / tppY;

    Shape shape;
    shape.whole = { 0, 0, px(wp), px(hp) };
    shape.inside = { px(bp), px(tp), px(wp - bp), px(hp - bp) };
    shape.frameLeft = px(bp);
    shape.frameTop = px(tp);

    for (const auto &c : input.controls) {
        if (!c.onWindow || !c.visible)
            continue;
        if (c.kind == ShapeControl::Kind::Box) {
            const double x0 = c.left / tppX + bp;
            const double y0 = c.top / tppY + tp;
            shape.boxes.push_back({ px(x0), px(y0), px(x0 + c.width / tppX), px(y0 + c.height / tppY) });
            continue;
        }
        const auto x = [&](double twips) { return twips / tppX + bp; };
        const auto y = [&](double twips) { return twips / tppY + tp; };
        const double w = c.lineWidth;
        const LineGeometry &l = c.line;
        Band band;
        if (l.y1 == l.y2) {
            band = { PixelPoint { px(x(l.x1)), px(y(l.y1) - w) }, PixelPoint { px(x(l.x2)), px(y(l.y2) - w) },
                PixelPoint { px(x(l.x2)), px(y(l.y2) + w) }, PixelPoint { px(x(l.x1)), px(y(l.y1) + w) },
                PixelPoint { px(x(l.x1)), px(y(l.y1) - w) } };
        } else {
            band = { PixelPoint { px(x(l.x1) - w), px(y(l.y1)) }, PixelPoint { px(x(l.x2) - w), px(y(l.y2)) },
                PixelPoint { px(x(l.x2) + w), px(y(l.y2)) }, PixelPoint { px(x(l.x1) + w), px(y(l.y1)) },
                PixelPoint { px(x(l.x1) - w), px(y(l.y1)) } };
        }
        shape.bands.push_back(band);
    }
    return shape;
}

} // namespace zx
