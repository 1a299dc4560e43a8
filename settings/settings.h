#pragma once

#include <cstdint>
#include <filesystem>

namespace zx {

// What the crosshair window keeps between runs.
struct Settings {
    std::int32_t formTop = 0, formLeft = 0, formWidth = 0, formHeight = 0; // twips, outer bounds
    std::int32_t quality = 100, pixels = 4, interval = 1000;
    bool crossHair = true; // mPopCross checked (false: mPopNone)
    bool captureClient = false; // mPopClient checked (false: mPopForm)
    bool soundOn = true; // mPopSoundOn checked (false: mPopSoundOff)
};

// Fills s from the file: first the defaults (pixels 4, interval 1000, quality 100, crosshair shown,
// whole window, sound on; the four bounds keep what the caller put in), then the [ZENTROLUX] keys.
// Values are not range-checked; a number beyond 32 bits saturates.
void readSettings(const std::filesystem::path &path, Settings &s);

// Writes the eleven lines; returns false when the file could not be replaced (the old one is kept).
bool writeSettings(const std::filesystem::path &path, const Settings &s);

} // namespace zx
