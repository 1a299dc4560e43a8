#include "bmpreader.h"

#include <zentrolux/descriptionblock.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

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

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF)
// without a NUL, which would cut the EXIF text short.
bool isUtf8WithoutNul(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead == 0)
            return false;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t more = 0;
        std::uint32_t code = 0;
        std::uint32_t least = 0;
        if ((lead & 0xe0) == 0xc0) {
            more = 1, code = lead & 0x1fu, least = 0x80;
        } else if ((lead & 0xf0) == 0xe0) {
            more = 2, code = lead & 0x0fu, least = 0x800;
        } else if ((lead & 0xf8) == 0xf0) {
            more = 3, code = lead & 0x07u, least = 0x10000;
        } else {
            return false;
        }
        if (more >= text.size() - i)
            return false;
        for (std::size_t k = 1; k <= more; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3fu);
        }
        if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return false;
        i += more + 1;
    }
    return true;
}

// The text of a description block that starts at `from`, when one does and
// ends by `to`, where the pixels begin; both lie inside `file`.
std::string_view descriptionIn(std::span<const std::uint8_t> file, std::size_t from, std::size_t to)
{
    using namespace descriptionblock;
    if (to - from < HeaderBytes || std::memcmp(file.data() + from, Magic, sizeof Magic) != 0)
        return {};
    const std::size_t length = u16(file, from + sizeof Magic);
    if (length > MaxTextBytes || length > to - from - HeaderBytes)
        return {};
    const std::string_view text(reinterpret_cast<const char *>(file.data() + from + HeaderBytes), length);
    return isUtf8WithoutNul(text) ? text : std::string_view {};
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
    view.description = descriptionIn(file, static_cast<std::size_t>(headersEnd), pixelOffset);
    return view;
}

} // namespace zx::bmp
