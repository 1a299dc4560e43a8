#pragma once

#include "geometry.h"

#include <cstdint>
#include <vector>

namespace zx {

// A rectangle of the screen as GDI reads it: rows of 0xffRRGGBB pixels.
struct ScreenCopy {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// What the screen shows in `area` (virtual-screen pixels, negative ones
// included); parts off every monitor come back black.
[[nodiscard]] ScreenCopy copyScreen(const PixelRect &area);

} // namespace zx
