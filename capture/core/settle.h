#pragma once

// The wait between hiding the camera button and reading the screen: the
// picture must never show the button. The windows below repaint the square
// it uncovered a moment after the window's new shape is in force, and each
// way of reading the screen waits for that by these rules.

#include "geometry.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace zx {

// A few pixels of the screen: rows of 0x..RRGGBB words, the top byte unused.
struct ScreenPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    [[nodiscard]] bool empty() const { return pixels.empty(); }
    [[nodiscard]] std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

// The camera button as a snapshot hides it: where it was on the screen and
// what the screen showed there just before.
struct HiddenButton {
    PixelRect square;
    ScreenPixels painted; // empty: not known, nothing to wait for
};

// The title bar as a snapshot of the whole window puts the moment in the
// caption: where it is and what it showed before.
struct CaptionBar {
    PixelRect bar; // empty: the picture holds no title bar
    ScreenPixels before; // empty: not known, nothing to wait for
};

// How often the square is read, and how long at most.
inline constexpr int SettlePollMilliseconds = 2;
inline constexpr int SettleMaxMilliseconds = 150;
// Where the display server reports drawing, a square it has not reported
// drawn by then is read instead.
inline constexpr int UnreportedAfterMilliseconds = 50;
// A window manager that has not drawn the new caption by then is not waited for
// (icewm on a busy Debian 13 machine once took longer than 150 ms).
inline constexpr int CaptionMaxMilliseconds = 300;

// Whether `now`, the part of the button's square at `offset` from its top-left
// corner, still shows the button exactly, by colour.
[[nodiscard]] bool showsButton(const ScreenPixels &now, PixelPoint offset, const ScreenPixels &painted);

// The same for a picture that may be scaled or slightly blurred (a desktop's
// screenshot): most of its pixels close to the button's.
[[nodiscard]] bool mostlyShowsButton(const ScreenPixels &square, const ScreenPixels &painted);

// What the wait needs of the screen and the clock.
struct SettleScreen {
    std::function<ScreenPixels(const PixelRect &)> read;
    std::function<void(int milliseconds)> pause; // lets the screen change meanwhile
    std::function<std::int64_t()> milliseconds; // a monotonic clock
};

// Whether the title bar shows something else than before: the new caption.
[[nodiscard]] bool captionChanged(const ScreenPixels &now, const ScreenPixels &before);

// Reads the part `visible` of the button's square until it no longer shows
// the button and what replaced it holds still, for at most maxMilliseconds.
// False when the time ran out.
bool waitUntilUncovered(const HiddenButton &button, const PixelRect &visible, const SettleScreen &screen,
    int maxMilliseconds = SettleMaxMilliseconds);

// Reads the title bar until it shows the new caption, for at most
// maxMilliseconds. False when the time ran out.
bool waitUntilCaptionShows(const CaptionBar &caption, const PixelRect &visible, const SettleScreen &screen,
    int maxMilliseconds = CaptionMaxMilliseconds);

} // namespace zx
