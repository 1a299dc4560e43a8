#include "colours.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace zx {

Colour lineColour(LineColour chosen, bool night)
{
    if (night)
        return NightRed;
    // In the order of LineColour.
    constexpr std::array<Colour, 5> Chosen { {
        CrosshairRed,
        { 0, 192, 0 },
        { 255, 255, 255 },
        { 255, 255, 0 },
        { 0, 255, 255 },
    } };
    const auto index = static_cast<std::size_t>(chosen);
    return index < Chosen.size() ? Chosen[index] : CrosshairRed;
}

std::uint32_t nightPixel(std::uint32_t pixel)
{
    const std::uint32_t r = (pixel >> 16) & 0xff;
    const std::uint32_t g = (pixel >> 8) & 0xff;
    const std::uint32_t b = pixel & 0xff;
    // Rec. 601 weights in 1/256ths: a brighter pixel stays brighter.
    const std::uint32_t luma = (77 * r + 150 * g + 29 * b) >> 8;
    const std::uint32_t red = luma * static_cast<std::uint32_t>(NightRed.red) / 255;
    return (pixel & 0xff000000U) | (red << 16);
}

void tintForNight(std::uint8_t *bits, int width, int height, std::size_t bytesPerLine)
{
    if (bits == nullptr || width <= 0 || height <= 0)
        return;
    for (int y = 0; y < height; ++y) {
        std::uint8_t *row = bits + static_cast<std::size_t>(y) * bytesPerLine;
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, row + 4 * static_cast<std::size_t>(x), 4);
            pixel = nightPixel(pixel);
            std::memcpy(row + 4 * static_cast<std::size_t>(x), &pixel, 4);
        }
    }
}

} // namespace zx
