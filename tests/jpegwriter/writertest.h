#pragma once

#include "bmpfile.h"
#include "testsystem.h"

#include <zentrolux/jpegwriter.h>
#include <zentrolux/tempbitmap.h>

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zx::test {

namespace fs = std::filesystem;

inline std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

inline void writeFile(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::ptrdiff_t entryCount(const fs::path &folder)
{
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

inline constexpr int kWidth = 475; // odd, so that the rows of the bitmap are padded
inline constexpr int kHeight = 314;

// 0xffRRGGBB pixels, row after row, as grabbed. Red rises across, green down and
// blue falls across, so that a swapped channel, a flipped picture or a skewed row shows.
inline std::vector<std::uint32_t> testPicture()
{
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const auto red = static_cast<std::uint32_t>(x * 255 / (kWidth - 1));
            const auto green = static_cast<std::uint32_t>(y * 255 / (kHeight - 1));
            pixels.push_back(0xff000000u | red << 16 | green << 8 | (255 - red / 2));
        }
    }
    return pixels;
}

// Mean absolute difference per channel (0..255) between a JPEG file and the
// picture; the most there can be when it does not decode to a picture of that size.
inline double jpegError(const fs::path &path, const std::vector<std::uint32_t> &picture)
{
    const std::string jpeg = readFile(path);
    const auto *data = reinterpret_cast<const unsigned char *>(jpeg.data());
    std::vector<std::uint8_t> rgb(picture.size() * 3);
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    tjhandle decoder = tjInitDecompress();
    const bool ok
        = tjDecompressHeader3(decoder, data, jpeg.size(), &width, &height, &subsampling, &colourspace) == 0
        && width == kWidth && height == kHeight
        && tjDecompress2(decoder, data, jpeg.size(), rgb.data(), width, 0, height, TJPF_RGB, 0) == 0;
    tjDestroy(decoder);
    if (!ok)
        return 255; // as far off as can be
    double sum = 0;
    for (std::size_t i = 0; i < rgb.size(); ++i)
        sum += std::abs(static_cast<int>(picture[i / 3] >> (16 - 8 * (i % 3)) & 0xff) - rgb[i]);
    return sum / static_cast<double>(rgb.size());
}

// A private scratch folder, which also holds the snapshot bitmap of the test
// picture, and its Images folder.
class WriterTest : public ::testing::Test {
protected:
    WriterTest()
        : m_root(makePrivateFolder("zx-jpegwriter-"))
        , m_images(m_root / "Images")
    {
        placeTempBitmapIn(m_root); // only this test program's environment
        fs::create_directory(m_images);
        EXPECT_TRUE(writeBmp24(bitmapPath(), kWidth, kHeight,
            reinterpret_cast<const std::uint8_t *>(m_picture.data()), kWidth * 4));
    }
    ~WriterTest() override
    {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    static std::string bitmapPath() { return tempBitmapPath().value(); }
    static JpgResult write(const fs::path &target, int quality)
    {
        return static_cast<JpgResult>(DIWriteJpg(writerPath(target).c_str(), quality, 0));
    }
    fs::path m_root;
    fs::path m_images;
    const std::vector<std::uint32_t> m_picture = testPicture();
};

// The snapshot bitmap as the program writes it.
class BmpFile : public WriterTest { };

} // namespace zx::test
