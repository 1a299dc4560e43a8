#pragma once

// A text the program hands the JPEG writer with the snapshot bitmap, which the
// writer puts in the JPEG file's EXIF ImageDescription. DIWriteJpg takes only a
// path, a quality and an option, so the text travels in the bitmap itself: a
// block between the headers and the pixels, which the pixel offset (bfOffBits)
// steps over, so that any other bitmap reader passes it by. Both sides include
// this header so they always agree on its layout:
//
//   Magic     6 bytes
//   length    2 bytes, little-endian, at most MaxTextBytes
//   text      `length` bytes of UTF-8, no NUL
//   padding   zero bytes up to a multiple of 4, so the rows stay aligned
//
// It starts right where the headers end. A bitmap without it, or with one
// that breaks these rules, makes a JPEG file without a description.

#include <cstddef>

namespace zx::descriptionblock {

inline constexpr char Magic[] = { 'Z', 'X', 'D', 'E', 'S', 'C' };
inline constexpr std::size_t HeaderBytes = sizeof Magic + 2;
// A line or two of text; the bound keeps a damaged length from meaning much.
inline constexpr std::size_t MaxTextBytes = 512;

// Bytes of the whole block for a text of this many bytes, padding included.
[[nodiscard]] constexpr std::size_t blockBytes(std::size_t textBytes)
{
    return (HeaderBytes + textBytes + 3) / 4 * 4;
}

} // namespace zx::descriptionblock
