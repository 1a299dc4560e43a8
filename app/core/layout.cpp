#include "layout.h"

#include "numbers.h"

#include <cmath>
#include <limits>

namespace zx {

namespace {

bool fitsInt32(std::int64_t v)
{
    return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
}

std::optional<std::int64_t> halfOfRounded(double twips)
{
    const double r = roundHalfEven(twips);
    if (!(std::abs(r) < 2147483648.0))
        return std::nullopt;
    // Halved with the remainder dropped, as integer division does.
    return static_cast<std::int64_t>(r) / 2;
}

} // namespace

LayoutResult computeLayout(const LayoutInput &input)
{
    const WindowTwips &in = input.window;
    LayoutResult out;
    const auto cx = halfOfRounded(in.insideWidth);
    const auto cy = halfOfRounded(in.insideHeight);
    const std::int64_t dx = std::int64_t { in.tppX } * input.pixels;
    const std::int64_t dy = std::int64_t { in.tppY } * input.pixels;

    if (cx && fitsInt32(dx)) {
        const std::int64_t left = *cx - dx;
        const std::int64_t right = *cx + dx;
        if (fitsInt32(left))
            out.vLine1 = LineGeometry { double(left), 0, double(left), in.insideHeight };
        if (fitsInt32(right))
            out.vLine2 = LineGeometry { double(right), 0, double(right), in.insideHeight };
    }
    if (cy && fitsInt32(dy)) {
        const std::int64_t upper = *cy - dy;
        const std::int64_t lower = *cy + dy;
        if (fitsInt32(upper))
            out.hLine1 = LineGeometry { 0, double(upper), in.insideWidth, double(upper) };
        if (fitsInt32(lower))
            out.hLine2 = LineGeometry { 0, double(lower), in.insideWidth, double(lower) };
    }

    const double bw = roundHalfEven((in.outerWidth - in.insideWidth) / 2.0);
    if (input.captureForm) {
        out.picWidth = in.outerWidth + bw;
        out.picHeight = in.outerHeight + bw;
    } else {
        out.picWidth = in.insideWidth + bw;
        out.picHeight = in.insideHeight + bw;
    }
    out.buttonLeft = in.insideWidth - input.buttonWidth;
    out.buttonTop = 0;
    return out;
}

PixelRect fitCentred(const PixelRect &picture, int width, int height)
{
    const std::int64_t pw = picture.width();
    const std::int64_t ph = picture.height();
    if (pw <= 0 || ph <= 0 || width <= 0 || height <= 0)
        return {};
    // Whole pixels, the remainder dropped, as a picture scaled to keep its shape.
    std::int64_t w = std::int64_t(height) * pw / ph;
    std::int64_t h = height;
    if (w > width) {
        w = width;
        h = std::int64_t(width) * ph / pw;
    }
    const int left = int((width - w) / 2);
    const int top = int((height - h) / 2);
    return { left, top, left + int(w), top + int(h) };
}

} // namespace zx
