#include "colours.h"
#include "staroffset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

namespace zx {
namespace {

// A dark, noisy sky with one Gaussian star centred at (cx, cy) in pixels of
// the area (a pixel's centre is its whole coordinate).
ScreenPixels sky(int width, int height, double cx, double cy, double fwhm, double peak, double noise,
    unsigned seed = 1)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> grain(0.0, noise);
    const double s = fwhm / 2.3548;
    ScreenPixels shot { width, height, std::vector<std::uint32_t>(std::size_t(width) * std::size_t(height)) };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            const double v = 20.0 + peak * std::exp(-r2 / (2 * s * s)) + grain(random);
            const auto level = static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L));
            shot.pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] = level << 16 | level << 8 | level;
        }
    }
    return shot;
}

TEST(StarOffset, FindsTheStarToATenthOfAPixel)
{
    const PixelRect area { 100, 200, 300, 360 };
    struct Case {
        double x, y, fwhm, peak, noise;
    };
    const Case cases[] = {
        { 80.0, 60.0, 2.0, 200, 2 },
        { 80.3, 60.7, 3.0, 150, 3 },
        { 120.55, 31.25, 4.0, 120, 4 },
        { 10.1, 140.9, 2.5, 60, 3 }, // near the edge, faint
    };
    for (const Case &c : cases) {
        const StarReading star = findStar(sky(200, 160, c.x, c.y, c.fwhm, c.peak, c.noise), area, {});
        ASSERT_TRUE(star.found) << c.x << "," << c.y;
        EXPECT_NEAR(star.at.x, area.left + c.x, 0.1) << c.x << "," << c.y;
        EXPECT_NEAR(star.at.y, area.top + c.y, 0.1) << c.x << "," << c.y;
        EXPECT_NEAR(star.background, 20.0, 2.0);
        EXPECT_GT(star.peak, 20.0 + c.peak / 2);
    }

    // Sub-pixel places all over a pixel, stars of every width the read-out is made for.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> place(0.0, 1.0);
    double worst = 0;
    for (int i = 0; i < 60; ++i) {
        const double x = 90 + place(random);
        const double y = 70 + place(random);
        const double fwhm = 2.0 + 2.0 * place(random);
        const StarReading star = findStar(sky(200, 160, x, y, fwhm, 90, 3, unsigned(i)), area, {});
        ASSERT_TRUE(star.found);
        worst = std::max({ worst, std::abs(star.at.x - area.left - x), std::abs(star.at.y - area.top - y) });
    }
    EXPECT_LT(worst, 0.1);

    // Between the bands of a pair, which cover the star's wings: the fit is not pulled off by them.
    for (const double x : { 36.2, 36.5, 36.8, 37.4 }) {
        ScreenPixels between = sky(80, 80, x, 40.3, 3.5, 150, 2);
        const std::vector<PixelRect> bands { { 32, 0, 34, 80 }, { 40, 0, 42, 80 } };
        for (const PixelRect &b : bands) {
            for (int y = b.top; y < b.bottom; ++y) {
                for (int c = b.left; c < b.right; ++c)
                    between.pixels[std::size_t(y) * 80 + std::size_t(c)] = 0xc00000u;
            }
        }
        const StarReading star = findStar(between, { 0, 0, 80, 80 }, bands);
        ASSERT_TRUE(star.found);
        EXPECT_NEAR(star.at.x, x, 0.1);
        EXPECT_NEAR(star.at.y, 40.3, 0.1);
    }

    // The crosshair's own lines are brighter than the star, and left out.
    ScreenPixels lined = sky(200, 160, 50.4, 40.2, 3.0, 100, 2);
    for (int y = 0; y < 160; ++y)
        lined.pixels[std::size_t(y) * 200 + 120] = lined.pixels[std::size_t(y) * 200 + 121] = 0xff0000u;
    EXPECT_TRUE(findStar(lined, area, {}).at.x > area.left + 100) << "unmasked, the line is taken as the star";
    const StarReading masked = findStar(lined, area, { { area.left + 119, area.top, area.left + 123, area.bottom } });
    ASSERT_TRUE(masked.found);
    EXPECT_NEAR(masked.at.x, area.left + 50.4, 0.1);
    EXPECT_NEAR(masked.at.y, area.top + 40.2, 0.1);
}

TEST(StarOffset, NoStarWithoutAClearMargin)
{
    const PixelRect area { 0, 0, 200, 160 };
    EXPECT_FALSE(findStar(sky(200, 160, 80, 60, 3.0, 0, 3), area, {}).found) << "noise alone";
    EXPECT_FALSE(findStar(sky(200, 160, 80, 60, 3.0, 8, 3), area, {}).found) << "lost in the noise";
    // One hot pixel is no star.
    ScreenPixels hot = sky(200, 160, 80, 60, 3.0, 0, 2);
    hot.pixels[60 * 200 + 80] = 0xffffffu;
    EXPECT_FALSE(findStar(hot, area, {}).found);
    // Too little to read, a short buffer, or all of it masked.
    EXPECT_FALSE(findStar(ScreenPixels {}, area, {}).found);
    EXPECT_FALSE(findStar(ScreenPixels { 10, 10, std::vector<std::uint32_t>(10) }, area, {}).found);
    EXPECT_FALSE(findStar(sky(200, 160, 80, 60, 3.0, 200, 2), area, { area }).found);
}

TEST(StarOffset, DriftIsTheSlopeOfTheLastMinute)
{
    DriftFit fit;
    // 0.8 px/min right, 0.1 px/min up, with a wobble, read at 5 Hz.
    for (int i = 0; i < 49; ++i) {
        const double t = 1000.0 + i * 0.2;
        fit.add(t, { 3.0 + 0.8 * (t - 1000.0) / 60 + 0.05 * ((i % 2) ? 1 : -1), -1.0 - 0.1 * (t - 1000.0) / 60 });
    }
    EXPECT_FALSE(fit.perMinute()) << "not before ten seconds of readings";
    for (int i = 49; i < 600; ++i) {
        const double t = 1000.0 + i * 0.2;
        fit.add(t, { 3.0 + 0.8 * (t - 1000.0) / 60 + 0.05 * ((i % 2) ? 1 : -1), -1.0 - 0.1 * (t - 1000.0) / 60 });
    }
    ASSERT_TRUE(fit.perMinute());
    EXPECT_NEAR(fit.perMinute()->x, 0.8, 0.04);
    EXPECT_NEAR(fit.perMinute()->y, -0.1, 0.005);
    // Only the last minute counts: the star stops, and a minute later so does the drift.
    const double stop = 1000.0 + 600 * 0.2;
    for (int i = 0; i <= 300; ++i)
        fit.add(stop + i * 0.2, { 7.0, -2.0 });
    EXPECT_NEAR(fit.perMinute()->x, 0.0, 1e-9);
    fit.clear();
    EXPECT_FALSE(fit.perMinute());
}

TEST(StarOffset, CaptionDescriptionAndFileLine)
{
    EXPECT_EQ(starCaption("Zentrolux", ScreenPoint { 3.44, -1.15 }, ScreenPoint { 0.81, -0.06 }),
        "Zentrolux  +3.4 -1.2 px  drift +0.8 -0.1 px/min");
    EXPECT_EQ(starCaption("Zentrolux", ScreenPoint { -0.04, 0.0 }, std::nullopt), "Zentrolux  +0.0 +0.0 px");
    EXPECT_EQ(starCaption("Zentrolux", std::nullopt, ScreenPoint { 1, 1 }), "Zentrolux  no star");
    EXPECT_EQ(starDescription({ 12.25, -0.5 }), "star offset +12.3 -0.5 px");
    std::tm t {};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = 23;
    t.tm_min = 4;
    t.tm_sec = 5;
    StarReading star { true, { 512.345, 300.5 }, 231, 12.5 };
    EXPECT_EQ(offsetsLine(t, 7, star, { 3.4, -1.2 }), "2026-12-07 23:04:05.007,512.35,300.50,3.40,-1.20,231,12.5");
}

TEST(Colours, NightIsDimRedOnly)
{
    EXPECT_EQ(lineColour(LineColour::Red, false), CrosshairRed);
    EXPECT_EQ(lineColour(LineColour::Cyan, false), (Colour { 0, 255, 255 }));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(lineColour(static_cast<LineColour>(i), true), NightRed) << i;
    for (const std::uint32_t pixel : { 0xffffffffu, 0x00ff0000u, 0x0000ff00u, 0x000000ffu, 0x80123456u }) {
        const std::uint32_t night = nightPixel(pixel);
        EXPECT_EQ(night & 0xffffu, 0u) << std::hex << pixel;
        EXPECT_LE((night >> 16) & 0xffu, std::uint32_t(NightRed.red));
        EXPECT_EQ(night >> 24, pixel >> 24);
    }
    EXPECT_EQ((nightPixel(0xffffffu) >> 16) & 0xffu, std::uint32_t(NightRed.red)) << "white is the brightest red";
    EXPECT_GT(nightPixel(0x00ff00u), nightPixel(0x0000ffu)) << "green looks brighter than blue";
    std::uint32_t picture[3] = { 0xffffffu, 0x00ff00u, 0x000000u };
    tintForNight(reinterpret_cast<std::uint8_t *>(picture), 3, 1, sizeof picture);
    EXPECT_EQ(picture[0], nightPixel(0xffffffu));
    EXPECT_EQ(picture[2], 0u);
}

} // namespace
} // namespace zx
