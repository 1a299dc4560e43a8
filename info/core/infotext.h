#pragma once

#include "geometry.h"

#include <string>

namespace zx {

inline constexpr const char *MakerNotice = "(c) 2026 The Zentrolux developers, free for astronomers";
inline constexpr const char *WebSite = "https://zentrolux.example.org/";

// The help window's text, rows joined with CR LF as the text box shows them.
[[nodiscard]] std::string helpText();

// "Zentrolux Help Information  v1.0.20"
[[nodiscard]] std::string helpCaption();

// "Zentrolux V1.0.20"
[[nodiscard]] std::string aboutTitle();

// The version as major.minor.revision, without leading zeros.
[[nodiscard]] std::string versionText();

// Left (or top) that centres a window on the screen, in twips: the difference
// rounded to whole twips, then halved with the remainder dropped.
[[nodiscard]] int centredOrigin(double screenSize, double windowSize);

// The sizes of the information windows, in whole pixels at the screen's
// twips per pixel: the help window's inside is 7215 x 5400 twips; the About
// window's inside is its artwork, drawn for 96 dpi, at its size on the desk.
struct InfoSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const InfoSize &, const InfoSize &) = default;
};
inline constexpr int HelpInsideWidthTwips = 7215;
inline constexpr int HelpInsideHeightTwips = 5400;
inline constexpr int ArtworkTwipsPerPixel = 15;
[[nodiscard]] InfoSize helpInsideSize(int tppX, int tppY);
[[nodiscard]] InfoSize aboutInsideSize(InfoSize artwork, int tppX, int tppY);

// The outer top-left corner, in pixels, that centres a window of this outer
// size on the screen, reckoned in twips as centredOrigin() does.
[[nodiscard]] PixelPoint centredOnScreen(const PixelRect &screen, InfoSize outer, int tppX, int tppY);

} // namespace zx
