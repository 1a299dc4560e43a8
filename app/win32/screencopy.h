#pragma once

#include "geometry.h"
#include "settle.h"

namespace zx {

// What the screen shows in `area` (virtual-screen pixels, negative ones
// included) as GDI reads it, rows of 0xffRRGGBB pixels; parts off every
// monitor come back black.
[[nodiscard]] ScreenPixels copyScreen(const PixelRect &area);

} // namespace zx
