#pragma once

#include "geometry.h"

#include <cstdint>
#include <optional>

namespace zx {

// End points of a line control, in twips from the inside's top-left corner.
struct LineGeometry {
    double x1 = 0;
    double y1 = 0;
    double x2 = 0;
    double y2 = 0;
    friend bool operator==(const LineGeometry &, const LineGeometry &) = default;
};

struct LayoutInput {
    WindowTwips window;
    std::int32_t pixels = 4; // crosshair half-gap, screen pixels
    bool captureForm = true; // "Form Area" checked
    double buttonWidth = 375; // camera button width, twips
};

// Where the layout pass puts each control. A step whose arithmetic does not
// fit 32 bits is skipped: its line stays where it was (nullopt here).
struct LayoutResult {
    std::optional<LineGeometry> vLine1;
    std::optional<LineGeometry> vLine2;
    std::optional<LineGeometry> hLine1;
    std::optional<LineGeometry> hLine2;
    double picWidth = 0;
    double picHeight = 0;
    double buttonLeft = 0;
    double buttonTop = 0;
};

// The geometry of one layout pass: the two pairs of lines 2 x pixels apart
// about the centre of the inside, the camera button in the top-right corner,
// and the capture picture box sized to the capture area.
[[nodiscard]] LayoutResult computeLayout(const LayoutInput &in);

// Where a picture of this size goes when it is shown whole in an area of
// width x height pixels: as large as fits, its shape kept, centred.
[[nodiscard]] PixelRect fitCentred(const PixelRect &picture, int width, int height);

} // namespace zx
