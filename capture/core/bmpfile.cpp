#include "bmpfile.h"

#include "privatefile.h"

#include <cstring>
#include <limits>
#include <memory>

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

void writeHeaders(std::uint8_t *file, int width, int height, std::uint32_t pixelBytes)
{
    std::memset(file, 0, kHeadersSize);
    file[0] = 'B';
    file[1] = 'M';
    put32(file + 2, static_cast<std::uint32_t>(kHeadersSize) + pixelBytes);
    put32(file + 10, kHeadersSize);
    put32(file + 14, 40);
    put32(file + 18, static_cast<std::uint32_t>(width));
    put32(file + 22, static_cast<std::uint32_t>(height)); // positive: bottom row first
    put16(file + 26, 1); // planes
    put16(file + 28, 24); // bits per pixel
    put32(file + 34, pixelBytes); // compression (30) stays 0: none
}

void convertRow(const std::uint8_t *source, int width, std::uint8_t *target)
{
    for (int x = 0; x < width; ++x) {
        std::uint32_t pixel;
        std::memcpy(&pixel, source + 4 * static_cast<std::size_t>(x), sizeof pixel);
        target[0] = static_cast<std::uint8_t>(pixel); // blue
        target[1] = static_cast<std::uint8_t>(pixel >> 8); // green
        target[2] = static_cast<std::uint8_t>(pixel >> 16); // red
        target += 3;
    }
}

} // namespace

bool writeBmp24(
    const std::string &path, int width, int height, const std::uint8_t *rgb32, std::size_t strideBytes)
{
    if (width < 1 || height < 1 || rgb32 == nullptr || strideBytes / 4 < static_cast<std::size_t>(width))
        return false;
    const std::uint64_t pitch = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
    const std::uint64_t pixelBytes = pitch * static_cast<std::uint64_t>(height);
    // The file size has to fit the header's 32-bit field.
    if (pixelBytes > std::numeric_limits<std::uint32_t>::max() - kHeadersSize)
        return false;

    // The whole file in one buffer, so that it goes out in one write.
    const std::size_t fileSize = kHeadersSize + static_cast<std::size_t>(pixelBytes);
    auto file = std::make_unique_for_overwrite<std::uint8_t[]>(fileSize);
    writeHeaders(file.get(), width, height, static_cast<std::uint32_t>(pixelBytes));
    const std::size_t padding = static_cast<std::size_t>(pitch) - static_cast<std::size_t>(width) * 3;
    std::uint8_t *row = file.get() + kHeadersSize;
    for (int y = height - 1; y >= 0; --y) {
        convertRow(rgb32 + static_cast<std::size_t>(y) * strideBytes, width, row);
        std::memset(row + static_cast<std::size_t>(width) * 3, 0, padding);
        row += pitch;
    }
    return writePrivateFile(path, { file.get(), fileSize });
}

} // namespace zx
