#include "keymap.h"

#include "keys.h"

namespace zx {

namespace {

int codeOf(int key, bool keypad)
{
    switch (key) {
    case Qt::Key_Escape:
        return vk::Escape;
    case Qt::Key_Space:
        return vk::Space;
    case Qt::Key_Left:
        return vk::Left;
    case Qt::Key_Up:
        return vk::Up;
    case Qt::Key_Right:
        return vk::Right;
    case Qt::Key_Down:
        return vk::Down;
    case Qt::Key_Plus:
        return keypad ? vk::KeypadPlus : vk::PlusEquals;
    case Qt::Key_Equal:
        return vk::PlusEquals;
    case Qt::Key_Minus:
        return keypad ? vk::KeypadMinus : vk::Minus;
    case Qt::Key_Underscore:
        return vk::Minus;
    case Qt::Key_Shift:
        return vk::Shift;
    case Qt::Key_Control:
        return vk::Control;
    case Qt::Key_Alt:
        return vk::Alt;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Tab:
        return 9;
    case Qt::Key_Backspace:
        return 8;
    default:
        break;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return vk::F1 + (key - Qt::Key_F1);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return key; // the letters share their codes
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return keypad ? 96 + (key - Qt::Key_0) : key;
    return 0;
}

} // namespace

VirtualKey toVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers)
{
    VirtualKey k;
    k.code = codeOf(qtKey, modifiers.testFlag(Qt::KeypadModifier));
    if (modifiers.testFlag(Qt::ShiftModifier))
        k.mask |= keymask::Shift;
    if (modifiers.testFlag(Qt::ControlModifier))
        k.mask |= keymask::Control;
    if (modifiers.testFlag(Qt::AltModifier))
        k.mask |= keymask::Alt;
    return k;
}

} // namespace zx
