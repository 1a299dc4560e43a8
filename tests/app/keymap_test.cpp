#include "keymap.h"

#include "keys.h"

#include <gtest/gtest.h>

namespace {

using zx::VirtualKey;

TEST(KeyMap, QtKeysBecomeVirtualKeys)
{
    const Qt::KeyboardModifiers none;
    const auto shift = Qt::ShiftModifier;
    const auto keypad = Qt::KeypadModifier;
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        VirtualKey expected;
    } cases[] = {
        { Qt::Key_Escape, none, { 27, 0 } },
        { Qt::Key_Space, none, { 32, 0 } },
        { Qt::Key_F1, none, { 112, 0 } },
        { Qt::Key_F2, none, { 113, 0 } },
        { Qt::Key_Left, Qt::ControlModifier, { 37, 2 } },
        { Qt::Key_Up, Qt::AltModifier, { 38, 4 } },
        { Qt::Key_Right, shift, { 39, 1 } },
        { Qt::Key_Down, Qt::ControlModifier | Qt::ShiftModifier, { 40, 3 } },
        // Arrows of the keypad with NumLock off are arrows all the same.
        { Qt::Key_Left, keypad | Qt::ControlModifier, { 37, 2 } },
        // Keypad plus and minus differ from the main keyboard's keys.
        { Qt::Key_Plus, keypad, { 107, 0 } },
        { Qt::Key_Minus, keypad, { 109, 0 } },
        { Qt::Key_Equal, none, { 187, 0 } },
        { Qt::Key_Plus, shift, { 187, 1 } }, // "+" typed as Shift and "="
        { Qt::Key_Minus, none, { 189, 0 } },
        { Qt::Key_Underscore, shift, { 189, 1 } },
        { Qt::Key_Shift, shift, { 16, 1 } }, // the Shift key's own key-down
        { Qt::Key_A, shift, { 'A', 1 } },
        { Qt::Key_5, keypad, { 101, 0 } },
        { Qt::Key_Return, none, { 13, 0 } },
        { Qt::Key_Meta, none, { 0, 0 } },
    };
    for (const auto &c : cases) {
        const VirtualKey got = zx::toVirtualKey(c.key, c.mods);
        EXPECT_EQ(got.code, c.expected.code) << std::hex << c.key;
        EXPECT_EQ(got.mask, c.expected.mask) << std::hex << c.key;
    }
}

} // namespace
