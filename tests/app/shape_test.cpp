#include "shape.h"

#include <gtest/gtest.h>

namespace {

constexpr int Tpp = 15;

// A window with the given frame, in pixels, and the program's controls laid
// out by the layout pass.
zx::ShapeInput window(int insideW, int insideH, int side, int top, int pixels, bool cross = true,
    bool button = true, bool splash = false)
{
    zx::LayoutInput li;
    li.window = { double((insideW + 2 * side) * Tpp), double((insideH + top + side) * Tpp),
        double(insideW * Tpp), double(insideH * Tpp), Tpp, Tpp };
    li.pixels = pixels;
    const auto layout = zx::computeLayout(li);

    zx::ShapeInput in;
    in.window = li.window;
    using K = zx::ShapeControl::Kind;
    zx::ShapeControl pic { K::Box, splash, true, 0, 0, layout.picWidth, layout.picHeight, {}, 1 };
    zx::ShapeControl cmd { K::Box, button, true, layout.buttonLeft, 0, 375, 375, {}, 1 };
    in.controls = { pic, cmd };
    for (const auto &line : { layout.vLine2, layout.vLine1, layout.hLine2, layout.hLine1 })
        in.controls.push_back({ K::Line, cross, true, 0, 0, 0, 0, *line, 1 });
    return in;
}

TEST(Shape, FrameLinesAndButtonInOuterPixels)
{
    // 475 x 314 inside, 4-pixel sides, 30-pixel title bar and top frame.
    const auto shape = zx::computeShape(window(475, 314, 4, 30, 4));
    EXPECT_EQ(shape.whole, (zx::PixelRect { 0, 0, 483, 348 }));
    EXPECT_EQ(shape.inside, (zx::PixelRect { 4, 30, 479, 344 }));
    EXPECT_EQ(shape.frameLeft, 4);
    EXPECT_EQ(shape.frameTop, 30);

    // The frame is opaque all round, the middle of the inside is not.
    EXPECT_TRUE(shape.contains(0, 0));
    EXPECT_TRUE(shape.contains(3, 200));
    EXPECT_TRUE(shape.contains(479, 200));
    EXPECT_TRUE(shape.contains(200, 344));
    EXPECT_FALSE(shape.contains(483, 200));
    EXPECT_FALSE(shape.contains(100, 100));

    // The vertical line at 3502 twips (inside pixel 233.47) is a 2-pixel band
    // around window column 237.47.
    ASSERT_EQ(shape.bands.size(), 4u);
    const zx::Band &vLine1 = shape.bands[1];
    EXPECT_EQ(vLine1[0], (zx::PixelPoint { 236, 30 }));
    EXPECT_EQ(vLine1[2], (zx::PixelPoint { 238, 344 }));
    EXPECT_EQ(vLine1[4], vLine1[0]);
    for (int x = 230; x < 246; ++x)
        EXPECT_EQ(shape.contains(x, 100), x == 236 || x == 237 || x == 244 || x == 245) << x;

    // Horizontal bands: 2295 and 2415 twips are inside rows 153 and 161.
    for (int y = 178; y < 196; ++y)
        EXPECT_EQ(shape.contains(20, y), y == 182 || y == 183 || y == 190 || y == 191) << y;

    // The 25 x 25 camera button sits in the inside's top-right corner.
    ASSERT_EQ(shape.boxes.size(), 1u);
    EXPECT_EQ(shape.boxes[0], (zx::PixelRect { 454, 30, 479, 55 }));
}

TEST(Shape, LineIsMeasuredFromTheOuterCorner)
{
    zx::ShapeInput in;
    in.window.insideWidth = 200 * Tpp;
    in.window.insideHeight = 100 * Tpp;
    in.window.outerWidth = 208 * Tpp; // 4-pixel frame each side
    in.window.outerHeight = 128 * Tpp; // 24-pixel title bar + 4
    in.controls = { { zx::ShapeControl::Kind::Line, true, true, 0, 0, 0, 0, { 1500, 0, 1500, 1500 }, 1 } };
    const auto shape = zx::computeShape(in);
    ASSERT_EQ(shape.bands.size(), 1u);
    // Inside column 100 with a 4-pixel frame: band from 103 to 105, centred on 104.
    EXPECT_EQ(shape.bands[0][0].x, 103);
    EXPECT_EQ(shape.bands[0][2].x, 105);
    EXPECT_EQ(shape.bands[0][0].y, 24);

    // A wider line widens the band to 2 x its width.
    in.controls[0].lineWidth = 3;
    const auto wide = zx::computeShape(in);
    EXPECT_EQ(wide.bands[0][2].x - wide.bands[0][0].x, 6);
}

TEST(Shape, HiddenAndNestedControlsAreNotPartOfIt)
{
    const auto none = zx::computeShape(window(475, 314, 4, 30, 4, /*cross=*/false));
    EXPECT_TRUE(none.bands.empty());
    EXPECT_EQ(none.boxes.size(), 1u); // only the camera button
    EXPECT_FALSE(none.contains(237, 100));

    const auto noButton = zx::computeShape(window(475, 314, 4, 30, 4, true, /*button=*/false));
    EXPECT_TRUE(noButton.boxes.empty());
    EXPECT_FALSE(noButton.contains(470, 40));

    auto nested = window(475, 314, 4, 30, 4);
    nested.controls[1].onWindow = false;
    EXPECT_TRUE(zx::computeShape(nested).boxes.empty());
}

TEST(Shape, SplashPictureMakesTheWholeWindowOpaque)
{
    const auto shape = zx::computeShape(window(475, 314, 4, 30, 4, true, true, /*splash=*/true));
    int open = 0;
    for (int y = 0; y < shape.whole.bottom; ++y) {
        for (int x = 0; x < shape.whole.right; ++x)
            open += shape.contains(x, y) ? 0 : 1;
    }
    EXPECT_EQ(open, 0);
}

TEST(Shape, ZeroGapPutsBothBandsOnTheCentre)
{
    const auto shape = zx::computeShape(window(475, 314, 4, 30, 0));
    ASSERT_EQ(shape.bands.size(), 4u);
    EXPECT_EQ(shape.bands[0], shape.bands[1]);
    EXPECT_EQ(shape.bands[2], shape.bands[3]);
}

TEST(Shape, SlantedBandUsesTheWindingRule)
{
    const zx::Band band { zx::PixelPoint { 0, 0 }, { 10, 10 }, { 12, 10 }, { 2, 0 }, { 0, 0 } };
    EXPECT_TRUE(zx::bandContains(band, 1, 0.5));
    EXPECT_TRUE(zx::bandContains(band, 6, 5.5));
    EXPECT_FALSE(zx::bandContains(band, 6, 1));
    EXPECT_FALSE(zx::bandContains(band, 1, 5));
}

} // namespace
