#include "twips.h"

#include <gtest/gtest.h>

namespace {

using zx::PixelRect;
using zx::TwipsRect;

TEST(Twips, EachAxisConvertsWithItsOwnScaleHalvesToEven)
{
    const zx::TwipsScale s(15, 12);
    // 22.5 px goes to 22, 37.5 px to 38; y counts 12 twips a pixel, 162.5 goes to 162.
    EXPECT_EQ(s.toPixels(TwipsRect { 3390, 1950, 7245, 5160 }), (PixelRect { 226, 162, 226 + 483, 162 + 430 }));
    EXPECT_EQ(s.pixelsX(337.5), 22);
    EXPECT_EQ(s.pixelsX(562.5), 38);
    EXPECT_EQ(s.pixelsY(-18), -2);
    EXPECT_EQ(s.toTwips(PixelRect { -3, 2, 7, 12 }), (TwipsRect { -45, 24, 150, 120 }));
    // Pixels to twips and back is exact, whatever the place.
    for (const PixelRect r : { PixelRect { 0, 0, 1, 1 }, PixelRect { -1920, 5, 1280, 1029 } })
        EXPECT_EQ(s.toPixels(s.toTwips(r)), r);
    // Absurd twips saturate instead of wrapping.
    EXPECT_EQ(zx::TwipsScale(15, 15).toTwips(PixelRect { 0, 0, 2000000000, 1 }).width, INT32_MAX);
    // A screen that reports no resolution still divides.
    EXPECT_EQ(zx::TwipsScale(0, -4).pixelsX(30), 30);
}

} // namespace
