#include "bmpfile.h"

#include "privatefile.h"

#include <zentrolux/descriptionblock.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zx {

namespace {

constexpr std::size_t kHeadersSize = 14 + 40;

void put16(std::uint8_t *at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t *at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void writeHeaders(std::uint8_t *file, int width, int height, std::uint32_t pixelOffset, std::uint32_t pixelBytes)
{
    std::memset(file, 0, kHeadersSize);
    file[0] = 'B';
    file[1] = 'M';
    put32(file + 2, pixelOffset + pixelBytes);
    put32(file + 10, pixelOffset);
    put32(file + 14, 40);
    put32(file + 18, static_cast<std::uint32_t>(width));
    put32(file + 22, static_cast<std::uint32_t>(height)); // positive: bottom row first
    put16(file + 26, 1); // planes
    put16(file + 28, 24); // bits per pixel
    put32(file + 34, pixelBytes); // compression (30) stays 0: none
}

// At most the block's bound, never half a character.
std::string_view fitted(std::string_view text)
{
    if (text.size() <= descriptionblock::MaxTextBytes)
        return text;
    std::size_t end = descriptionblock::MaxTextBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80)
        --end; // text[end] continues the character before it
    return text.substr(0, end);
}

void writeDescription(std::uint8_t *block, std::string_view text)
{
    using namespace descriptionblock;
    std::memcpy(block, Magic, sizeof Magic);
    put16(block + sizeof Magic, static_cast<std::uint16_t>(text.size()));
    std::memcpy(block + HeaderBytes, text.data(), text.size());
    std::memset(block + HeaderBytes + text.size(), 0, blockBytes(text.size()) - HeaderBytes - text.size());
}

// Pixels to blue, green, red bytes. With SSE2 (every x86-64 processor has
// it) four at a step: each pixel's colour bytes shift down over the unused
// bytes before them. A step stores 16 bytes for 12, so the last pixel goes
// one by one with any others left over.
void convertRow(const std::uint8_t *source, int width, std::uint8_t *target)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i lane0 = _mm_setr_epi32(0xffffff, 0, 0, 0);
    const __m128i lane1 = _mm_setr_epi32(0, 0xffffff, 0, 0);
    const __m128i lane2 = _mm_setr_epi32(0, 0, 0xffffff, 0);
    const __m128i lane3 = _mm_setr_epi32(0, 0, 0, 0xffffff);
    for (; x + 5 <= width; x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(source + 4 * static_cast<std::size_t>(x)));
        const __m128i first = _mm_or_si128(_mm_and_si128(pixels, lane0), _mm_srli_si128(_mm_and_si128(pixels, lane1), 1));
        const __m128i second = _mm_or_si128(
            _mm_srli_si128(_mm_and_si128(pixels, lane2), 2), _mm_srli_si128(_mm_and_si128(pixels, lane3), 3));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(target), _mm_or_si128(first, second));
        target += 12;
    }
#endif
    for (; x < width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, source + 4 * static_cast<std::size_t>(x), sizeof pixel);
        target[0] = static_cast<std::uint8_t>(pixel); // blue
        target[1] = static_cast<std::uint8_t>(pixel >> 8); // green
        target[2] = static_cast<std::uint8_t>(pixel >> 16); // red
        target += 3;
    }
}

// Rows go out in pieces of about this size: small enough to stay in the
// processor's cache between conversion and write (and for the allocator to
// reuse rather than map afresh), large enough for few calls.
constexpr std::size_t kPieceBytes = 120 * 1024;

} // namespace

bool writeBmp24(const std::string &path, int width, int height, const std::uint8_t *rgb32, std::size_t strideBytes,
    const BitmapNotes &notes)
{
    if (width < 1 || height < 1 || rgb32 == nullptr || strideBytes / 4 < static_cast<std::size_t>(width))
        return false;
    const std::uint64_t pitch = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
    const std::uint64_t pixelBytes = pitch * static_cast<std::uint64_t>(height);
    const std::string_view description = fitted(notes.description);
    const std::size_t block = description.empty() ? 0 : descriptionblock::blockBytes(description.size());
    // What comes before the pixels: the headers, then the description block.
    const std::size_t prefix = kHeadersSize + block;
    // The file size has to fit the header's 32-bit field.
    if (pixelBytes > std::numeric_limits<std::uint32_t>::max() - prefix)
        return false;

    PrivateFile file(path);
    if (!file.isOpen())
        return false;
    // One pass over the picture: a piece of rows is converted, then written
    // while it is still in the cache, rather than the whole file built first.
    const auto rowBytes = static_cast<std::size_t>(pitch);
    const std::size_t rowsPerPiece = std::max<std::size_t>(1, kPieceBytes / rowBytes);
    auto piece = std::make_unique_for_overwrite<std::uint8_t[]>(prefix + rowsPerPiece * rowBytes);
    writeHeaders(piece.get(), width, height, static_cast<std::uint32_t>(prefix), static_cast<std::uint32_t>(pixelBytes));
    if (block != 0)
        writeDescription(piece.get() + kHeadersSize, description);
    const std::size_t padding = rowBytes - static_cast<std::size_t>(width) * 3;
    std::uint8_t *first = piece.get() + prefix; // the headers go out with the first rows
    for (int y = height - 1; y >= 0; first = piece.get()) {
        std::uint8_t *row = first;
        for (std::size_t n = 0; n < rowsPerPiece && y >= 0; ++n, --y) {
            convertRow(rgb32 + static_cast<std::size_t>(y) * strideBytes, width, row);
            std::memset(row + static_cast<std::size_t>(width) * 3, 0, padding);
            row += rowBytes;
        }
        if (!file.write({ piece.get(), static_cast<std::size_t>(row - piece.get()) }))
            return false;
    }
    return file.finish(notes.modified);
}

} // namespace zx
