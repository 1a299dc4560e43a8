#pragma once

#include "geometry.h"
#include "settings.h"

#include <cstdint>

namespace zx {

// Windows virtual-key codes and modifier bits the key handler works on.
namespace vk {
inline constexpr int Escape = 27;
inline constexpr int Space = 32;
inline constexpr int Left = 37;
inline constexpr int Up = 38;
inline constexpr int Right = 39;
inline constexpr int Down = 40;
inline constexpr int F1 = 112;
inline constexpr int KeypadPlus = 107;
inline constexpr int KeypadMinus = 109;
inline constexpr int PlusEquals = 187;
inline constexpr int Minus = 189;
inline constexpr int Shift = 16;
inline constexpr int Control = 17;
inline constexpr int Alt = 18;
} // namespace vk

namespace keymask {
inline constexpr int Shift = 1;
inline constexpr int Control = 2;
inline constexpr int Alt = 4;
} // namespace keymask

// What the key handler needs of the crosshair window. Geometry is the outer
// frame in twips, read afresh at every step.
class KeyWindow {
public:
    virtual ~KeyWindow() = default;

    [[nodiscard]] virtual TwipsRect outerBounds() const = 0;
    // Move and resize in one operation.
    virtual void setOuterBounds(const TwipsRect &bounds) = 0;
    virtual void setOuterWidth(int width) = 0;
    virtual void setOuterHeight(int height) = 0;
    [[nodiscard]] virtual int twipsPerPixelX() const = 0;
    [[nodiscard]] virtual int twipsPerPixelY() const = 0;

    [[nodiscard]] virtual std::int32_t pixels() const = 0;
    virtual void setPixels(std::int32_t pixels) = 0;
    // The layout pass.
    virtual void relayout() = 0;
    // Esc: stop the capture timer and show the program name as caption.
    virtual void stopSequence() = 0;
    virtual void takeSnapshot() = 0;
    virtual void openHelp() = 0;
};

// One key-down of the crosshair window: squares the window when Shift alone is
// held, then acts on the key. The key is not consumed.
void formKeyDown(KeyWindow &window, int keyCode, int modifierMask);

} // namespace zx
