#include "layout.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

zx::LayoutInput designWindow()
{
    zx::LayoutInput in;
    in.window.insideWidth = 7125;
    in.window.insideHeight = 4710;
    // A 4-pixel side frame and a 30-pixel title bar, in twips.
    in.window.outerWidth = 7125 + 2 * 60;
    in.window.outerHeight = 4710 + 450 + 60;
    in.pixels = 4;
    return in;
}

TEST(Layout, PlacesThePairsAboutTheCentreAndTheButtonTopRight)
{
    const auto out = zx::computeLayout(designWindow());
    ASSERT_TRUE(out.vLine1 && out.vLine2 && out.hLine1 && out.hLine2);
    EXPECT_EQ(*out.vLine1, (zx::LineGeometry { 3502, 0, 3502, 4710 }));
    EXPECT_EQ(*out.vLine2, (zx::LineGeometry { 3622, 0, 3622, 4710 }));
    EXPECT_EQ(*out.hLine1, (zx::LineGeometry { 0, 2295, 7125, 2295 }));
    EXPECT_EQ(*out.hLine2, (zx::LineGeometry { 0, 2415, 7125, 2415 }));
    EXPECT_DOUBLE_EQ(out.buttonLeft, 6750);
    EXPECT_DOUBLE_EQ(out.buttonTop, 0);
    // The picture box covers the capture area plus one frame width.
    EXPECT_DOUBLE_EQ(out.picWidth, 7245 + 60);
    EXPECT_DOUBLE_EQ(out.picHeight, 5220 + 60);
}

TEST(Layout, CaptureAreaGapAndOddSizes)
{
    auto in = designWindow();
    in.captureForm = false;
    in.pixels = 0;
    in.window.insideWidth = 7127.5; // rounds to 7128 (even), halved to 3564
    auto out = zx::computeLayout(in);
    EXPECT_DOUBLE_EQ(out.picWidth, 7127.5 + 59); // bw = round(58.75)
    EXPECT_DOUBLE_EQ(out.picHeight, 4710 + 59);
    // A zero gap puts both lines of a pair on the centre line.
    EXPECT_EQ(out.vLine1->x1, 3564);
    EXPECT_EQ(out.vLine2->x1, 3564);
    EXPECT_EQ(out.hLine1->y1, out.hLine2->y1);

    in.window.insideWidth = 7131; // odd: 3565 with the remainder dropped
    in.pixels = -2; // a stored negative gap swaps the pair, nothing more
    out = zx::computeLayout(in);
    EXPECT_EQ(out.vLine1->x1, 3565 + 30);
    EXPECT_EQ(out.vLine2->x1, 3565 - 30);
}

TEST(Layout, OverflowSkipsOnlyTheStepsItBreaks)
{
    auto in = designWindow();
    in.pixels = std::numeric_limits<std::int32_t>::max();
    auto out = zx::computeLayout(in);
    EXPECT_FALSE(out.vLine1 || out.vLine2 || out.hLine1 || out.hLine2);
    EXPECT_DOUBLE_EQ(out.buttonLeft, 6750); // later steps still run

    // A gap that fits 32 bits but pushes one line of the pair past it.
    in.pixels = 143165576; // 15 x this is just below 2^31
    out = zx::computeLayout(in);
    EXPECT_TRUE(out.vLine1.has_value());
    EXPECT_FALSE(out.vLine2.has_value());
}

TEST(Layout, SplashShownWholeScaledAndCentred)
{
    const struct {
        zx::PixelRect picture;
        int width, height;
        zx::PixelRect expected;
    } cases[] = {
        { { 0, 0, 400, 300 }, 475, 314, { 28, 0, 446, 314 } }, // the height decides; 418.67 cut to 418
        { { 0, 0, 400, 300 }, 300, 600, { 0, 187, 300, 412 } }, // the width decides
        { { 0, 0, 400, 300 }, 800, 600, { 0, 0, 800, 600 } }, // fits exactly, enlarged
        { { 0, 0, 400, 300 }, 0, 600, {} },
        { {}, 475, 314, {} },
    };
    for (const auto &c : cases)
        EXPECT_EQ(zx::fitCentred(c.picture, c.width, c.height), c.expected) << c.width << " x " << c.height;
}

} // namespace

