// The wait for the screen to stop showing the hidden camera button, against
// a screen whose square changes at given moments.
#include "settle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zx {
namespace {

ScreenPixels block(int width, int height, std::uint32_t colour)
{
    return { width, height, std::vector<std::uint32_t>(std::size_t(width) * std::size_t(height), colour) };
}

TEST(Settle, ButtonComparedByColourAndPlace)
{
    ScreenPixels button = block(4, 4, 0xffc0c0c0u);
    button.pixels[5] = 0xff000000u; // the camera's dark pixel at (1, 1)
    ScreenPixels same = button;
    for (auto &p : same.pixels)
        p = (p & 0xffffffu) | 0x12000000u; // the unused top byte differs
    EXPECT_TRUE(showsButton(same, { 0, 0 }, button));
    // The part of the square that is on the screen, at its offset.
    ScreenPixels part = block(2, 2, 0xffc0c0c0u);
    part.pixels[0] = 0xff000000u;
    EXPECT_TRUE(showsButton(part, { 1, 1 }, button));
    EXPECT_FALSE(showsButton(part, { 0, 0 }, button));
    EXPECT_FALSE(showsButton(part, { 3, 3 }, button)) << "beyond the button";
    ScreenPixels changed = button;
    changed.pixels[15] = 0xffc0c0c1u; // one pixel, one step of blue
    EXPECT_FALSE(showsButton(changed, { 0, 0 }, button));
    EXPECT_FALSE(showsButton({}, { 0, 0 }, button));
    EXPECT_FALSE(showsButton(button, { 0, 0 }, {}));

    // A scaled screenshot: most pixels close enough still count as the button.
    ScreenPixels blurred = block(10, 10, 0xffc0c0c0u);
    const ScreenPixels painted = block(10, 10, 0xffc8c8c8u); // 24 apart over three channels
    for (int i = 0; i < 39; ++i)
        blurred.pixels[std::size_t(i)] = 0xff203040u;
    EXPECT_TRUE(mostlyShowsButton(blurred, painted));
    blurred.pixels[39] = 0xff203040u; // 40 of 100 differ
    blurred.pixels[40] = 0xff203040u;
    EXPECT_FALSE(mostlyShowsButton(blurred, painted));
    EXPECT_FALSE(mostlyShowsButton(block(9, 10, 0xffc8c8c8u), painted)) << "another size";
}

// A screen on a clock of its own: the square shows each picture from its moment on.
struct ScriptedScreen {
    std::vector<std::pair<std::int64_t, ScreenPixels>> script;
    std::int64_t now = 0;
    std::vector<std::int64_t> reads;

    SettleScreen hooks()
    {
        return { [this](const PixelRect &) {
                    reads.push_back(now);
                    ScreenPixels shown;
                    for (const auto &[at, picture] : script)
                        if (at <= now)
                            shown = picture;
                    return shown;
                },
            [this](int ms) { now += ms; }, [this] { return now; } };
    }
};

TEST(Settle, WaitsUntilTheSquareHoldsSomethingElse)
{
    const ScreenPixels button = block(3, 3, 0xffc0c0c0u);
    const ScreenPixels below = block(3, 3, 0xff102030u);
    const ScreenPixels half = [&] {
        ScreenPixels p = below;
        p.pixels[0] = 0xffc0c0c0u;
        return p;
    }();
    const HiddenButton hidden { { 100, 0, 103, 3 }, button };
    const struct {
        const char *what;
        std::vector<std::pair<std::int64_t, ScreenPixels>> script;
        bool settled;
        std::int64_t doneAt; // the clock when the wait returns
    } cases[] = {
        { "gone at once: one more read to see it hold", { { 0, below } }, true, 2 },
        { "repainted after 7 ms", { { 0, button }, { 7, below } }, true, 10 },
        { "repainted in two steps: only what holds counts", { { 0, button }, { 4, half }, { 6, below } }, true, 8 },
        { "never repainted: the bound ends it", { { 0, button } }, false, SettleMaxMilliseconds },
        { "flickering never holds still", { { 0, below }, { 2, half }, { 4, below }, { 6, half }, { 8, below },
                                              { 10, half }, { 12, below }, { 14, half } },
            true, 16 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedScreen screen { c.script, 0, {} };
        EXPECT_EQ(waitUntilUncovered(hidden, hidden.square, screen.hooks()), c.settled);
        EXPECT_EQ(screen.now, c.doneAt);
    }
    // Nothing known of the button: nothing to wait for, nothing read.
    ScriptedScreen screen { { { 0, button } }, 0, {} };
    EXPECT_TRUE(waitUntilUncovered({ hidden.square, {} }, hidden.square, screen.hooks()));
    EXPECT_TRUE(screen.reads.empty());
}

TEST(Settle, WaitsForTheTitleBarToShowTheNewCaption)
{
    const ScreenPixels before = block(8, 2, 0xff3050a0u);
    ScreenPixels moment = before;
    moment.pixels[9] = 0xffffffffu; // a letter more
    ScreenPixels topByteOnly = before;
    topByteOnly.pixels[3] = 0x003050a0u;
    const CaptionBar caption { { 0, 0, 8, 2 }, before };
    const struct {
        const char *what;
        std::vector<std::pair<std::int64_t, ScreenPixels>> script;
        bool shown;
        std::int64_t doneAt;
    } cases[] = {
        { "drawn already", { { 0, moment } }, true, 0 },
        { "drawn after 5 ms", { { 0, before }, { 5, moment } }, true, 6 },
        { "only the unused byte differs", { { 0, topByteOnly } }, false, CaptionMaxMilliseconds },
        { "never drawn: the bound ends it", { { 0, before } }, false, CaptionMaxMilliseconds },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedScreen screen { c.script, 0, {} };
        EXPECT_EQ(waitUntilCaptionShows(caption, caption.bar, screen.hooks()), c.shown);
        EXPECT_EQ(screen.now, c.doneAt);
    }
    // No title bar in the picture, or nothing known of it: nothing read.
    ScriptedScreen screen { { { 0, before } }, 0, {} };
    EXPECT_TRUE(waitUntilCaptionShows({ {}, before }, {}, screen.hooks()));
    EXPECT_TRUE(waitUntilCaptionShows({ caption.bar, {} }, caption.bar, screen.hooks()));
    EXPECT_TRUE(screen.reads.empty());
}

} // namespace
} // namespace zx
