#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zx {

// What the bitmap tells the JPEG writer besides the pixels.
struct BitmapNotes {
    // The file's modification time, which the writer takes for the moment of
    // the picture; when none, the time it is written.
    std::optional<std::chrono::system_clock::time_point> modified;
    // UTF-8, in the description block (zentrolux/descriptionblock.h); cut to
    // the block's bound at a character's edge. None when empty.
    std::string_view description;
};

// Writes a picture as a 24-bit uncompressed bottom-up BMP file, replacing a file
// of that name but never writing through a link. `rgb32` holds `height` rows of
// `width` pixels, `strideBytes` apart, each pixel a 32-bit 0xffRRGGBB value in
// native byte order (QImage::Format_RGB32). The file is readable by the owner
// only. False, with no file left, when the arguments make no bitmap or the
// file cannot be written. `path` is UTF-8.
[[nodiscard]] bool writeBmp24(const std::string &path, int width, int height, const std::uint8_t *rgb32,
    std::size_t strideBytes, const BitmapNotes &notes = {});

} // namespace zx
