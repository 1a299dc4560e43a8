#pragma once

#include <Qt>

namespace zx {

// A key as the key handler knows it: a Windows virtual-key code and the
// modifier mask (1 Shift, 2 Control, 4 Alt).
struct VirtualKey {
    int code = 0;
    int mask = 0;
    friend bool operator==(const VirtualKey &, const VirtualKey &) = default;
};

// Translates a Qt key event. The keypad's plus and minus differ from the main
// keyboard's plus/equals and minus keys; a plus typed with Shift is the
// plus/equals key.
[[nodiscard]] VirtualKey toVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers);

} // namespace zx
