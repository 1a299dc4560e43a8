#pragma once

#include "settings.h"

#include <cstddef>
#include <cstdint>

namespace zx {

struct Colour {
    int red = 0;
    int green = 0;
    int blue = 0;
    friend bool operator==(const Colour &, const Colour &) = default;
};

// The crosshair's lines, and the inside behind them.
inline constexpr Colour CrosshairRed { 192, 0, 0 };

// Night colours: at the telescope nothing may be white or bright, and only
// red keeps the eyes dark-adapted. Every window the program shows draws its
// text, lines and pictures in NightRed (NightDim for borders, separators and
// what is disabled) on NightBlack.
inline constexpr Colour NightRed { 150, 0, 0 };
inline constexpr Colour NightDim { 70, 0, 0 };
inline constexpr Colour NightBlack { 0, 0, 0 };

// The lines' colour: the one chosen, or NightRed at night.
[[nodiscard]] Colour lineColour(LineColour chosen, bool night);

// A picture's pixel (0x..RRGGBB) at night: its brightness in NightRed's red,
// green and blue 0, the top byte kept.
[[nodiscard]] std::uint32_t nightPixel(std::uint32_t pixel);

// Every pixel of rows of 32-bit 0x..RRGGBB pixels turned so.
void tintForNight(std::uint8_t *bits, int width, int height, std::size_t bytesPerLine);

} // namespace zx
