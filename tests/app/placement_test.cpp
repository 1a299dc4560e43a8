#include "placement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using zx::PixelRect;

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Int32Max = std::numeric_limits<std::int32_t>::max();
constexpr double Int32Min = std::numeric_limits<std::int32_t>::min();

const PixelRect Main { 0, 0, 1280, 1024 };
// Beside the main screen and shorter: the corner x >= 1280, y >= 720 lies on neither.
const PixelRect Short { 1280, 0, 2560, 720 };

struct Case {
    const char *what;
    double left, top, width, height;
    std::vector<PixelRect> screens;
    PixelRect expected;
};

TEST(Placement, KeepsUsableBoundsAndBringsBackTheRest)
{
    // Openbox's frame: 1 pixel at the sides, a 20-pixel title bar, a 5-pixel handle.
    const Case cases[] = {
        { "ordinary bounds", 300, 100, 477, 339, { Main }, { 300, 100, 777, 439 } },
        { "partly off the left edge, button shown", -100, 100, 477, 339, { Main }, { -100, 100, 377, 439 } },
        { "button off the right edge", 1000, 100, 477, 339, { Main }, { 803, 100, 1280, 439 } },
        // Where the keys can park it: the button hangs over the edge, part of it still shows.
        { "button half over the right edge", 809, 100, 483, 339, { Main }, { 809, 100, 1292, 439 } },
        { "title bar above the screen", 300, -20, 477, 339, { Main }, { 300, 0, 777, 339 } },
        { "title bar's last row on the screen", 300, -19, 477, 339, { Main }, { 300, -19, 777, 320 } },
        { "larger than the screen", 100, 100, 20000, 20000, { Main }, { 0, 0, 1280, 1024 } },
        { "infinite size", 100, 100, Inf, Inf, { Main }, { 0, 0, 1280, 1024 } },
        { "32-bit size", 10, 10, Int32Max, Int32Max, { Main }, { 0, 0, 1280, 1024 } },
        { "zero size", 300, 100, 0, 0, { Main }, { 300, 100, 327, 150 } },
        { "negative size", 300, 100, -40, -1e308, { Main }, { 300, 100, 327, 150 } },
        { "size not a number", 300, 100, NaN, NaN, { Main }, { 300, 100, 327, 150 } },
        { "place not a number", NaN, 100, 477, 339, { Main }, { 229, 136, 706, 475 } },
        { "far right", Int32Max, 100, 477, 339, { Main }, { 229, 136, 706, 475 } },
        { "far up and left", Int32Min, -Inf, 477, 339, { Main }, { 229, 136, 706, 475 } },
        { "on the second screen", 1500, 100, 477, 339, { Main, Short }, { 1500, 100, 1977, 439 } },
        { "across both screens, button on the second", 1000, 100, 477, 339, { Main, Short },
            { 1000, 100, 1477, 439 } },
        // Inside the screens' bounding box, on neither screen.
        { "in the dead corner", 1400, 800, 477, 200, { Main, Short }, { 229, 136, 706, 336 } },
        { "button in the dead corner", 1100, 700, 477, 339, { Main, Short }, { 803, 685, 1280, 1024 } },
        { "too large for the second screen", 1300, 100, 1400, 900, { Main, Short }, { 1280, 0, 2560, 720 } },
        { "design place on no screen", -5000, 0, 477, 339, { { 2000, 0, 3280, 1024 } },
            { 2000, 136, 2477, 475 } },
        { "screen smaller than the button needs", 0, 0, 477, 339, { { 0, 0, 20, 20 } }, { 0, 0, 20, 20 } },
    };
    for (const Case &c : cases) {
        zx::StoredPlacement in;
        in.left = c.left;
        in.top = c.top;
        in.width = c.width;
        in.height = c.height;
        in.screens = c.screens;
        in.frame = { 1, 20, 1, 5 };
        in.buttonSize = 25;
        in.designPlace = { 229, 136 };
        EXPECT_EQ(zx::placeStoredBounds(in), c.expected) << c.what;
    }
    // At 200 % the design place hangs 43 pixels over the right edge: a first start opens on the screen.
    zx::StoredPlacement design;
    design.left = 430;
    design.top = 260;
    design.width = 893;
    design.height = 626;
    design.screens = { Main };
    design.frame = { 1, 20, 1, 5 };
    design.buttonSize = 50;
    design.designPlace = { 430, 260 };
    EXPECT_EQ(zx::placeStoredBounds(design), (PixelRect { 430, 260, 1323, 886 }));
    design.mustFit = true;
    EXPECT_EQ(zx::placeStoredBounds(design), (PixelRect { 387, 260, 1280, 886 }));
}

} // namespace
