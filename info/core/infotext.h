#pragma once

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

} // namespace zx
