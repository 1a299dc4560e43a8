#pragma once

#include <cstdint>

namespace zx {

// The crosshair window's own variables. The three on/off options are not
// here: the menu's check marks are their only record.
struct MainWindowState {
    bool resizing = false; // a layout pass is running
    std::int32_t pixels = 4; // crosshair half-gap, screen pixels
    std::int32_t formTop = 0; // remembered outer bounds, twips
    std::int32_t formLeft = 0;
    std::int32_t formWidth = 0;
    std::int32_t formHeight = 0;
    std::int32_t interval = 1000; // capture sequence, milliseconds
    std::int32_t quality = 100; // JPEG quality
};

// Size and place of the window on a first start without a settings file.
inline constexpr int DesignInsideWidth = 7125; // twips
inline constexpr int DesignInsideHeight = 4710;
inline constexpr int DesignInsideLeft = 3450;
inline constexpr int DesignInsideTop = 2340;

inline constexpr int SplashMilliseconds = 3000;
inline constexpr int CameraButtonTwips = 375; // 25 pixels at 96 dpi
inline constexpr int CameraPictureTwips = 255; // the 17-pixel camera picture at 96 dpi

} // namespace zx
