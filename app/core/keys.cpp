#include "keys.h"

namespace zx {

namespace {

void square(KeyWindow &w)
{
    TwipsRect r = w.outerBounds();
    if (r.height > r.width)
        w.setOuterHeight(r.width);
    r = w.outerBounds();
    if (r.height < r.width)
        w.setOuterWidth(r.height);
}

void arrow(KeyWindow &w, int dirX, int dirY, int mask)
{
    const int stepX = w.twipsPerPixelX();
    const int stepY = w.twipsPerPixelY();
    TwipsRect r = w.outerBounds();
    // Left and Up shrink, Right and Down grow, when sizing.
    const int grow = (dirX + dirY) > 0 ? 1 : -1;
    switch (mask) {
    case keymask::Shift:
        r.width += grow * stepX;
        r.height += grow * stepY;
        w.setOuterBounds(r);
        break;
    case keymask::Control:
        r.left += dirX * stepX;
        r.top += dirY * stepY;
        w.setOuterBounds(r);
        break;
    case keymask::Alt:
        if (dirX != 0)
            w.setOuterWidth(r.width + dirX * stepX);
        else
            w.setOuterHeight(r.height + dirY * stepY);
        break;
    default:
        break;
    }
}

} // namespace

void formKeyDown(KeyWindow &window, int keyCode, int modifierMask)
{
    if (modifierMask == keymask::Shift)
        square(window);

    switch (keyCode) {
    case vk::Escape:
        window.stopSequence();
        break;
    case vk::Space:
        window.takeSnapshot();
        break;
    case vk::F1:
        window.openHelp();
        break;
    case vk::Left:
        arrow(window, -1, 0, modifierMask);
        break;
    case vk::Up:
        arrow(window, 0, -1, modifierMask);
        break;
    case vk::Right:
        arrow(window, 1, 0, modifierMask);
        break;
    case vk::Down:
        arrow(window, 0, 1, modifierMask);
        break;
    case vk::KeypadPlus:
    case vk::PlusEquals: {
        const std::int32_t p = window.pixels();
        // Step first, then clamp the top only, so a stored 80 drops to 50.
        window.setPixels(p >= MaxPixels ? MaxPixels : p + 1);
        window.relayout();
        break;
    }
    case vk::KeypadMinus:
    case vk::Minus: {
        const std::int32_t p = window.pixels();
        window.setPixels(p <= MinPixels ? MinPixels : p - 1);
        window.relayout();
        break;
    }
    default:
        break;
    }
}

} // namespace zx
