#pragma once

#include "geometry.h"
#include "layout.h"

#include <array>
#include <vector>

namespace zx {

// One child control of the crosshair window as the shape sees it.
struct ShapeControl {
    enum class Kind { Box, Line };
    Kind kind = Kind::Box;
    bool visible = true;
    bool onWindow = true; // false for a control that sits inside another control
    // Box: left, top, width, height in twips from the inside's top-left corner.
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    // Line: end points in twips and the drawn width in pixels.
    LineGeometry line;
    int lineWidth = 1;
};

struct ShapeInput {
    WindowTwips window;
    std::vector<ShapeControl> controls; // in creation order
};

using Band = std::array<PixelPoint, 5>;

// The window's shape in pixels from its outer top-left corner: the frame
// (whole minus inside), every visible box and a band of 2 x width pixels
// around every visible line.
struct Shape {
    PixelRect whole;
    PixelRect inside;
    std::vector<PixelRect> boxes;
    std::vector<Band> bands;
    // Where the inside begins, in whole pixels: the frame offset by which the
    // shape moves into the inside's coordinates.
    int frameLeft = 0;
    int frameTop = 0;

    // Whether a pixel belongs to the shape, taking the pixel's centre and the
    // bands' polygons with the non-zero winding rule.
    [[nodiscard]] bool contains(int x, int y) const;
};

[[nodiscard]] Shape computeShape(const ShapeInput &in);

[[nodiscard]] bool bandContains(const Band &band, double x, double y);

} // namespace zx
