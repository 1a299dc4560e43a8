#pragma once

#include "geometry.h"

#include <vector>

namespace zx {

// Thickness of the window manager's frame on each side, in pixels.
struct FrameInsets {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Where the stored bounds would put the window, and what it must stay reachable on.
struct StoredPlacement {
    // The stored outer bounds, in pixels; a hand-edited file can make them anything.
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    std::vector<PixelRect> screens;
    FrameInsets frame;
    int buttonSize = 25; // the camera button's side; it sits in the inside's top-right corner
    PixelPoint designPlace; // outer top-left for bounds that lie off every screen
    // A first start's design place, which no one chose: the window must lie wholly on its screen
    // (at 200 % the design size can hang over the right edge).
    bool mustFit = false;
};

// The outer bounds the window opens with. Bounds whose window fits the screen it
// opens on, and whose title bar and camera button each show at least in part on
// a screen, are kept as they are. Bounds off every screen move to the design
// place. Otherwise the window is made no larger than its screen and no smaller
// than its camera button needs, and moved wholly onto the screen nearest to the
// stored place.
[[nodiscard]] PixelRect placeStoredBounds(const StoredPlacement &in);

} // namespace zx
