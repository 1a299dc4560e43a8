#include "bmpreader.h"

#include <cstdint>
#include <cstdlib>

namespace zx::bmp {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40; // the smallest header with the fields we read
constexpr std::uint32_t kLargestHeaderSize = 124;
constexpr std::uint32_t kCompressionNone = 0; // BI_RGB
constexpr std::uint32_t kCompressionMasks = 3; // BI_BITFIELDS
constexpr std::size_t kMasksSize = 12; // red, green and blue masks

std::uint16_t u16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t u32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8
        | static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::int32_t i32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::int32_t>(u32(bytes, at));
}

} // namespace

std::optional<BitmapView> parseBmp(std::span<const std::uint8_t> file)
{
    if (file.size() < kFileHeaderSize + kInfoHeaderSize || file[0] != 'B' || file[1] != 'M')
        return std::nullopt;

    const std::uint32_t pixelOffset = u32(file, 10);
    const std::uint32_t headerSize = u32(file, 14);
    if (headerSize < kInfoHeaderSize || headerSize > kLargestHeaderSize)
        return std::nullopt;

    const std::int32_t width = i32(file, 18);
    const std::int32_t storedHeight = i32(file, 22);
    const std::uint16_t planes = u16(file, 26);
    const std::uint16_t bitsPerPixel = u16(file, 28);
    const std::uint32_t compression = u32(file, 30);

    // Negating INT32_MIN would overflow; it is out of range anyway.
    if (width < 1 || width > kMaxDimension || storedHeight == 0 || storedHeight < -kMaxDimension
        || storedHeight > kMaxDimension || planes != 1)
        return std::nullopt;

    std::uint64_t headersEnd = kFileHeaderSize + headerSize;
    BitmapView view;
    if (bitsPerPixel == 24 && compression == kCompressionNone) {
        view.layout = PixelLayout::Bgr24;
    } else if (bitsPerPixel == 32 && compression == kCompressionNone) {
        view.layout = PixelLayout::Bgrx32;
    } else if (bitsPerPixel == 32 && compression == kCompressionMasks) {
        // The masks follow a 40-byte header and are part of any longer one; both
        // ways they start right after the first 40 bytes.
        if (headerSize == kInfoHeaderSize)
            headersEnd += kMasksSize;
        const std::size_t masksAt = kFileHeaderSize + kInfoHeaderSize;
        if (file.size() < masksAt + kMasksSize || u32(file, masksAt) != 0x00ff0000u
            || u32(file, masksAt + 4) != 0x0000ff00u || u32(file, masksAt + 8) != 0x000000ffu)
            return std::nullopt;
        view.layout = PixelLayout::Bgrx32;
    } else {
        return std::nullopt;
    }

    const std::uint64_t rows = static_cast<std::uint64_t>(std::abs(storedHeight));
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(width) * (bitsPerPixel / 8);
    const std::uint64_t pitch = (static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
    // Some writers leave out the padding of the last row; the encoder never reads it.
    const std::uint64_t pixelBytes = pitch * (rows - 1) + rowBytes;
    if (pixelOffset < headersEnd || pixelOffset > file.size() || pixelBytes > file.size() - pixelOffset)
        return std::nullopt;

    view.pixels = file.data() + pixelOffset;
    view.width = width;
    view.height = static_cast<int>(rows);
    view.pitch = static_cast<std::size_t>(pitch);
    view.bottomUp = storedHeight > 0;
    return view;
}

} // namespace zx::bmp
