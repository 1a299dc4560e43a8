#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <turbojpeg.h>

namespace zx::test {

// A picture as the program grabs it: 0xffRRGGBB pixels, row after row.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    [[nodiscard]] std::uint32_t at(int x, int y) const
    {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)
            + static_cast<std::size_t>(x)];
    }
    [[nodiscard]] const std::uint8_t *bytes() const
    {
        return reinterpret_cast<const std::uint8_t *>(pixels.data());
    }
};

// Smooth gradients in all three channels with blocks of pure colour on top, so
// that a swapped channel, a flipped picture or a skewed row shows.
inline Picture testPicture(int width, int height)
{
    Picture picture { width, height, {} };
    picture.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const std::uint32_t blocks[] = { 0xffff0000u, 0xff00ff00u, 0xff0000ffu, 0xffffffffu, 0xff000000u };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto red = static_cast<std::uint32_t>(x * 255 / std::max(1, width - 1));
            const auto green = static_cast<std::uint32_t>(y * 255 / std::max(1, height - 1));
            const std::uint32_t blue = 255 - red / 2;
            std::uint32_t pixel = 0xff000000u | red << 16 | green << 8 | blue;
            const int block = x / 80;
            if (y >= 32 && y < 96 && x % 80 >= 16 && block < 5)
                pixel = blocks[block];
            picture.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)
                + static_cast<std::size_t>(x)]
                = pixel;
        }
    }
    return picture;
}

struct DecodedJpeg {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

inline std::string readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

inline void writeFile(const std::filesystem::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::optional<DecodedJpeg> decodeJpeg(const std::filesystem::path &path)
{
    const std::string jpeg = readFile(path);
    tjhandle decoder = tjInitDecompress();
    DecodedJpeg decoded;
    int subsampling = 0;
    int colourspace = 0;
    const auto *data = reinterpret_cast<const unsigned char *>(jpeg.data());
    bool ok = tjDecompressHeader3(
                  decoder, data, jpeg.size(), &decoded.width, &decoded.height, &subsampling, &colourspace)
        == 0;
    if (ok) {
        decoded.rgb.resize(
            static_cast<std::size_t>(decoded.width) * static_cast<std::size_t>(decoded.height) * 3);
        ok = tjDecompress2(decoder, data, jpeg.size(), decoded.rgb.data(), decoded.width, 0, decoded.height,
                 TJPF_RGB, 0)
            == 0;
    }
    tjDestroy(decoder);
    return ok ? std::optional(decoded) : std::nullopt;
}

// Mean absolute difference per channel, 0..255.
inline double meanAbsError(const Picture &expected, const DecodedJpeg &decoded)
{
    double sum = 0;
    const std::uint8_t *rgb = decoded.rgb.data();
    for (int y = 0; y < expected.height; ++y) {
        for (int x = 0; x < expected.width; ++x, rgb += 3) {
            const std::uint32_t pixel = expected.at(x, y);
            sum += std::abs(static_cast<int>(pixel >> 16 & 0xff) - rgb[0]);
            sum += std::abs(static_cast<int>(pixel >> 8 & 0xff) - rgb[1]);
            sum += std::abs(static_cast<int>(pixel & 0xff) - rgb[2]);
        }
    }
    return sum / (static_cast<double>(expected.width) * expected.height * 3);
}

} // namespace zx::test
