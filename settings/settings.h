#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace zx {

// The crosshair's half-gap in screen pixels is kept in this range.
inline constexpr std::int32_t MinPixels = 1;
inline constexpr std::int32_t MaxPixels = 50;

// The colours the lines may have, as the file names them.
enum class LineColour { Red, Green, White, Yellow, Cyan };
inline constexpr std::array<std::string_view, 5> LineColourNames { "red", "green", "white", "yellow", "cyan" };

// What the crosshair window keeps between runs, with the values of a first
// start. The four bounds have none of their own: they are the window's place
// and size at start-up until the file says otherwise.
struct Settings {
    std::int32_t formTop = 0, formLeft = 0, formWidth = 0, formHeight = 0; // twips, outer bounds
    std::int32_t quality = 100, pixels = 4, interval = 1000;
    bool crossHair = true; // lines shown ("Cross"; false: "None")
    bool captureClient = false; // "Client Area" (false: "Form Area")
    bool soundOn = true;
    // For the telescope: every window dim red on black, the lines' colour,
    // the star's offset read from the screen.
    bool night = false;
    LineColour lineColour = LineColour::Red;
    bool starOffset = false;
};

// Fills s from the file: first the defaults above (the four bounds keep what
// the caller put in), then the [ZENTROLUX] and [TELESCOPE] keys, the last
// occurrence of a key winning; a colour the program does not know is red. Numbers beyond 32 bits saturate; Pixels is brought into
// MinPixels..MaxPixels as the keys keep it.
void readSettings(const std::filesystem::path &path, Settings &s);

// Writes the eleven lines, and the [TELESCOPE] section after them only when
// one of its keys differs from its default; returns false when the file could not be replaced (the old one is kept).
bool writeSettings(const std::filesystem::path &path, const Settings &s);

} // namespace zx
