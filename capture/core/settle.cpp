#include "settle.h"

#include <cstdlib>

namespace zx {

bool showsButton(const ScreenPixels &now, PixelPoint offset, const ScreenPixels &painted)
{
    if (now.empty() || painted.empty() || offset.x < 0 || offset.y < 0 || offset.x + now.width > painted.width
        || offset.y + now.height > painted.height)
        return false;
    for (int y = 0; y < now.height; ++y) {
        for (int x = 0; x < now.width; ++x) {
            // The top byte of a screen pixel may hold anything.
            if (((now.at(x, y) ^ painted.at(x + offset.x, y + offset.y)) & 0xffffffu) != 0)
                return false;
        }
    }
    return true;
}

bool mostlyShowsButton(const ScreenPixels &square, const ScreenPixels &painted)
{
    if (square.empty() || square.width != painted.width || square.height != painted.height)
        return false;
    const auto channel = [](std::uint32_t p, int shift) { return int((p >> shift) & 0xffu); };
    int same = 0;
    for (std::size_t i = 0; i < square.pixels.size(); ++i) {
        const std::uint32_t a = square.pixels[i];
        const std::uint32_t b = painted.pixels[i];
        const int distance = std::abs(channel(a, 16) - channel(b, 16)) + std::abs(channel(a, 8) - channel(b, 8))
            + std::abs(channel(a, 0) - channel(b, 0));
        same += distance <= 24 ? 1 : 0;
    }
    // Six in ten close pixels: scaling blurs the edges, never the whole button.
    return same * 10 >= square.width * square.height * 6;
}

bool captionChanged(const ScreenPixels &now, const ScreenPixels &before)
{
    if (now.empty() || before.empty() || now.width != before.width || now.height != before.height)
        return false;
    for (std::size_t i = 0; i < now.pixels.size(); ++i) {
        if (((now.pixels[i] ^ before.pixels[i]) & 0xffffffu) != 0)
            return true;
    }
    return false;
}

bool waitUntilUncovered(
    const HiddenButton &button, const PixelRect &visible, const SettleScreen &screen, int maxMilliseconds)
{
    if (button.painted.empty() || visible.width() <= 0 || visible.height() <= 0)
        return true;
    const PixelPoint offset { visible.left - button.square.left, visible.top - button.square.top };
    const std::int64_t start = screen.milliseconds();
    ScreenPixels previous;
    while (screen.milliseconds() - start < maxMilliseconds) {
        ScreenPixels now = screen.read(visible);
        if (!showsButton(now, offset, button.painted) && !now.empty() && now.pixels == previous.pixels)
            return true;
        previous = std::move(now);
        screen.pause(SettlePollMilliseconds);
    }
    return false;
}

bool waitUntilCaptionShows(
    const CaptionBar &caption, const PixelRect &visible, const SettleScreen &screen, int maxMilliseconds)
{
    if (caption.before.empty() || visible.width() <= 0 || visible.height() <= 0)
        return true;
    const std::int64_t start = screen.milliseconds();
    while (!captionChanged(screen.read(visible), caption.before)) {
        if (screen.milliseconds() - start >= maxMilliseconds)
            return false;
        screen.pause(SettlePollMilliseconds);
    }
    return true;
}

} // namespace zx
