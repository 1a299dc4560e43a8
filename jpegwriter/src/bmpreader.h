#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zx::bmp {

enum class PixelLayout {
    Bgr24, // 3 bytes per pixel: blue, green, red
    Bgrx32, // 4 bytes per pixel: blue, green, red, unused
};

// The pixel array of a bitmap file held in memory; it points into that memory.
struct BitmapView {
    const std::uint8_t *pixels = nullptr; // the row stored first in the file
    int width = 0;
    int height = 0;
    std::size_t pitch = 0; // bytes from one stored row to the next
    bool bottomUp = true; // the first stored row is the bottom one
    PixelLayout layout = PixelLayout::Bgr24;
    // The text of the description block (zentrolux/descriptionblock.h) before
    // the pixels; empty when there is none or it breaks the block's rules.
    std::string_view description;
};

// JPEG cannot hold larger pictures.
inline constexpr int kMaxDimension = 65500;

// Reads the headers of an uncompressed 24- or 32-bit bitmap file and checks that
// every row lies inside `file`, and that the description lies between the headers
// and the pixels. No view for anything else.
[[nodiscard]] std::optional<BitmapView> parseBmp(std::span<const std::uint8_t> file);

} // namespace zx::bmp
