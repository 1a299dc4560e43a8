#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zx::exif {

// A moment as the local clock showed it, and how far that clock was then
// ahead of UTC (negative west of Greenwich).
struct LocalMoment {
    int year = 1970; // 0..9999: EXIF has four digits for it
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int utcOffsetMinutes = 0;
};

// What a snapshot's JPEG file says of its picture besides the pixels.
struct Tags {
    std::optional<LocalMoment> taken; // DateTimeOriginal, SubSecTimeOriginal, OffsetTimeOriginal
    std::string_view description; // ImageDescription, UTF-8; none when empty
};

// The APP1 segment that carries the tags, from its marker on, in big-endian
// TIFF order; empty when there is nothing to carry.
[[nodiscard]] std::vector<std::uint8_t> app1Segment(const Tags &tags);

} // namespace zx::exif
