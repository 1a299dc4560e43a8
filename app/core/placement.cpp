#include "placement.h"

#include "numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace zx {

namespace {

// Far beyond any screen, yet sums of a few of them stay exact in 64 bits.
constexpr double Limit = 1 << 30;

std::int64_t whole(double v)
{
    if (std::isnan(v))
        return 0;
    return static_cast<std::int64_t>(roundHalfEven(std::clamp(v, -Limit, Limit)));
}

struct Box {
    std::int64_t left, top, right, bottom;
};

std::int64_t overlap(const Box &a, const PixelRect &s)
{
    const std::int64_t w = std::min<std::int64_t>(a.right, s.right) - std::max<std::int64_t>(a.left, s.left);
    const std::int64_t h = std::min<std::int64_t>(a.bottom, s.bottom) - std::max<std::int64_t>(a.top, s.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// Squared gap between two rectangles; 0 when they touch or overlap.
double gap(const Box &a, const PixelRect &s)
{
    const double dx = double(std::max<std::int64_t>({ 0, s.left - a.right, a.left - s.right }));
    const double dy = double(std::max<std::int64_t>({ 0, s.top - a.bottom, a.top - s.bottom }));
    return dx * dx + dy * dy;
}

// The screen the window opens on: the one it covers most, else the nearest.
const PixelRect &homeScreen(const Box &box, const std::vector<PixelRect> &screens)
{
    const PixelRect *best = &screens.front();
    std::int64_t bestArea = -1;
    for (const PixelRect &s : screens) {
        if (const std::int64_t area = overlap(box, s); area > bestArea) {
            best = &s;
            bestArea = area;
        }
    }
    if (bestArea > 0)
        return *best;
    for (const PixelRect &s : screens) {
        if (gap(box, s) < gap(box, *best))
            best = &s;
    }
    return *best;
}

int narrow(std::int64_t v)
{
    return static_cast<int>(
        std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace

PixelRect placeStoredBounds(const StoredPlacement &in)
{
    std::int64_t left = whole(in.left);
    std::int64_t top = whole(in.top);
    std::int64_t width = whole(in.width);
    std::int64_t height = whole(in.height);
    const std::int64_t minWidth = std::int64_t { in.buttonSize } + in.frame.left + in.frame.right;
    const std::int64_t minHeight = std::int64_t { in.buttonSize } + in.frame.top + in.frame.bottom;
    const auto boxOf = [&] {
        return Box { left, top, left + std::max<std::int64_t>(width, 1),
            top + std::max<std::int64_t>(height, 1) };
    };
    const auto result = [&] {
        return PixelRect { narrow(left), narrow(top), narrow(left + width), narrow(top + height) };
    };
    if (in.screens.empty())
        return result();

    const bool placeKnown = !std::isnan(in.left) && !std::isnan(in.top);
    const bool onAScreen = placeKnown
        && std::any_of(in.screens.begin(), in.screens.end(),
            [&](const PixelRect &s) { return overlap(boxOf(), s) > 0; });
    if (!onAScreen) {
        left = in.designPlace.x;
        top = in.designPlace.y;
    }

    // A copy: GCC 14 takes the reference for one into the temporary box (-Wdangling-reference).
    const PixelRect home = homeScreen(boxOf(), in.screens);
    // A place the keys, a drag or the window manager allowed comes back as it
    // was, as long as the window can still be grabbed by its title bar and its
    // camera button clicked, even where either hangs over a screen's edge.
    const Box button { left + width - in.frame.right - in.buttonSize, top + in.frame.top,
        left + width - in.frame.right, top + in.frame.top + in.buttonSize };
    const Box titleBar { left, top, left + width, top + std::max(in.frame.top, 1) };
    const auto reachable = [&](const Box &part) {
        return std::any_of(
            in.screens.begin(), in.screens.end(), [&](const PixelRect &s) { return overlap(part, s) > 0; });
    };
    const bool fits = left >= home.left && top >= home.top && left + width <= home.right
        && top + height <= home.bottom;
    if (reachable(button) && reachable(titleBar) && width >= minWidth && height >= minHeight
        && width <= home.width() && height <= home.height() && (fits || !in.mustFit))
        return result();

    width = std::clamp<std::int64_t>(width, std::min<std::int64_t>(minWidth, home.width()), home.width());
    height
        = std::clamp<std::int64_t>(height, std::min<std::int64_t>(minHeight, home.height()), home.height());
    left = std::clamp<std::int64_t>(left, home.left, home.right - width);
    top = std::clamp<std::int64_t>(top, home.top, home.bottom - height);
    return result();
}

} // namespace zx
