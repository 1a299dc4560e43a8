#pragma once

#include <zentrolux/jpegwriter.h>

#include <cstddef>
#include <string>

namespace zx {

// Larger than any screen grab; stops a damaged file from asking for all memory.
inline constexpr std::size_t kMaxBitmapFileBytes = std::size_t { 1 } << 30;

// DIWriteJpg's work: the bitmap at `bitmapPath` to a new JPEG file at `target`.
[[nodiscard]] JpgResult writeJpegFile(const std::string &bitmapPath, const char *target, int quality);

} // namespace zx
