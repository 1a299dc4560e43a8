#pragma once

#include "colours.h"
#include "text.h"

#include <functional>

namespace zx {

// Drawing in the night colours (colours.h) where the system's own controls
// would draw in the day's: pictures, push buttons, menu items, text boxes.

[[nodiscard]] inline COLORREF colorRef(const Colour &c)
{
    return RGB(c.red, c.green, c.blue);
}

// A 32-bit copy of the picture as the night shows it; the caller deletes it.
[[nodiscard]] HBITMAP nightPicture(HBITMAP day);

// An owner-drawn push button: its caption or picture in NightRed on black, in
// a NightDim frame, NightRed when it has the focus.
void drawNightButton(const DRAWITEMSTRUCT &item, HBITMAP picture = nullptr);

// An owner-drawn menu item; a separator has no caption. Its check and its
// submenu's arrow are drawn here too.
void drawNightMenuItem(const DRAWITEMSTRUCT &item, const wchar_t *caption, bool hasSubmenu);
void measureNightMenuItem(MEASUREITEMSTRUCT &item, const wchar_t *caption);

// Makes an edit control paint itself at night: its text NightRed on black,
// what is selected black on NightDim, a NightRed caret.
void paintEditAtNight(HWND edit);

// Draws the window's border (the system's, grey) dim red on black while night is set.
void frameForNight(HWND window, bool night);

// Runs call with every popup menu it opens framed for the night.
void withNightMenuFrames(const std::function<void()> &call);

} // namespace zx
