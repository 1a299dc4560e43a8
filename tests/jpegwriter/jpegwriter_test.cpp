#include "fileio.h"
#include "jpegencoder.h"
#include "writertest.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

// The writer on every system; jpegwriter_posix_test.cpp holds what only POSIX file systems have.
namespace zx::test {
namespace {

using namespace std::literals;

TEST_F(WriterTest, SnapshotDecodesBackToThePicture)
{
    ASSERT_EQ(write(m_images / "low.jpg", 10), JpgResult::Written);
    ASSERT_EQ(write(m_images / "high.jpg", 100), JpgResult::Written);
    EXPECT_LT(jpegError(m_images / "low.jpg", m_picture), 8.0);
    EXPECT_LT(jpegError(m_images / "high.jpg", m_picture), 1.5);
    EXPECT_LT(fs::file_size(m_images / "low.jpg"), fs::file_size(m_images / "high.jpg"));
    EXPECT_EQ(entryCount(m_images), 2); // no temporary left behind
    EXPECT_TRUE(fs::exists(bitmapPath())); // removing the bitmap is the caller's job
}

TEST_F(WriterTest, FoldersNamedOutsideAscii)
{
    // The bitmap's folder may be named in any script (the temporary folder lies under the
    // user's name); the target's in what the system's 8-bit encoding can spell.
    const fs::path temp = m_root / fs::path(u8"Temp J\u00fcrgen \u661f");
    const fs::path images = m_root / fs::path(u8"Bilder J\u00fcrgen");
    fs::create_directory(temp);
    fs::create_directory(images);
    placeTempBitmapIn(temp);
    ASSERT_TRUE(writeBmp24(
        bitmapPath(), kWidth, kHeight, reinterpret_cast<const std::uint8_t *>(m_picture.data()), kWidth * 4));
    ASSERT_EQ(write(images / "CAP0001.jpg", 95), JpgResult::Written);
    EXPECT_LT(jpegError(images / "CAP0001.jpg", m_picture), 1.5);
    EXPECT_EQ(write(images / "CAP0001.jpg", 95), JpgResult::TargetExists);
    EXPECT_EQ(entryCount(images), 1);
}

TEST_F(WriterTest, RefusesBrokenBitmapsWithoutLeavingAFile)
{
    const std::string valid = readFile(bitmapPath());
    // Each breaks it by cutting bytes off the end, then writing bytes at an offset.
    const struct {
        const char *name;
        std::size_t cut;
        std::size_t at;
        std::string_view bytes;
    } cases[] = {
        { "empty", valid.size(), 0, "" },
        { "last pixel byte missing", 4, 0, "" }, // and the padding
        { "wrong magic", 0, 0, "P" },
        { "width absurd", 0, 18, "\xff\xff\xff\x7f" },
        { "height most negative", 0, 22, "\0\0\0\x80"sv },
        { "pixels past the end", 0, 10, "\xff\xff\xff\x0f" },
        { "pixels inside the headers", 0, 10, "\x14" }, // at 20
        { "8 bits per pixel", 0, 28, "\x08" },
        { "run-length compressed", 0, 30, "\x01" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(bitmapPath(), valid.substr(0, valid.size() - c.cut).replace(c.at, c.bytes.size(), c.bytes));
        EXPECT_EQ(write(m_images / "CAP0001.jpg", 50), JpgResult::BadBitmap);
    }
    fs::remove(bitmapPath());
    EXPECT_EQ(write(m_images / "CAP0001.jpg", 50), JpgResult::BadBitmap);
    EXPECT_EQ(entryCount(m_images), 0);
}

// The first quantization table of a JPEG file: what the quality chose.
std::vector<int> firstQuantTable(const std::string &jpeg)
{
    const std::size_t marker = jpeg.find("\xff\xdb"sv);
    // Length (2), then precision and table id (1), then 64 one-byte entries.
    if (marker == std::string::npos || marker + 5 + 64 > jpeg.size())
        return {};
    std::vector<int> table;
    for (std::size_t i = marker + 5; i < marker + 5 + 64; ++i)
        table.push_back(static_cast<unsigned char>(jpeg[i]));
    return table;
}

TEST_F(WriterTest, QualityOutsideTheRangeIsBroughtIntoIt)
{
    // Quality 1 scales every step to the largest a baseline file holds, 100 to the smallest.
    const std::vector<int> coarsest(64, 255), finest(64, 1);
    const struct {
        int quality;
        const std::vector<int> &table;
    } cases[] = { { 0, coarsest }, { -5, coarsest }, { INT32_MIN, coarsest }, { 1, coarsest },
        { 100, finest }, { 101, finest }, { 500, finest }, { INT32_MAX, finest } };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.quality);
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "q" + std::string.
        const fs::path target = m_images / std::string("q").append(std::to_string(++n)).append(".jpg");
        ASSERT_EQ(write(target, c.quality), JpgResult::Written);
        EXPECT_EQ(firstQuantTable(readFile(target)), c.table);
        EXPECT_LT(jpegError(target, m_picture), 40.0);
    }
}

TEST_F(WriterTest, RefusesUnwritableTargets)
{
    // Permission bits do not stop root, so "cannot be written" is a parent that is a file.
    writeFile(m_root / "file", "keep");
    EXPECT_EQ(write(m_root / "Missing" / "CAP0001.jpg", 50), JpgResult::CannotWrite);
    EXPECT_EQ(write(m_root / "file" / "CAP0001.jpg", 50), JpgResult::CannotWrite);
    EXPECT_EQ(DIWriteJpg(nullptr, 50, 0), static_cast<int>(JpgResult::CannotWrite));
    EXPECT_FALSE(fs::exists(m_root / "Missing"));
    EXPECT_EQ(readFile(m_root / "file"), "keep");
    EXPECT_EQ(entryCount(m_images), 0);
}

TEST_F(WriterTest, NeverReplacesAnExistingName)
{
    const fs::path existing = m_images / "CAP0001.jpg";
    writeFile(existing, "an earlier snapshot");
    EXPECT_EQ(write(existing, 80), JpgResult::TargetExists);
    EXPECT_EQ(readFile(existing), "an earlier snapshot");
    EXPECT_EQ(entryCount(m_images), 1);
    EXPECT_EQ(write(m_images / "CAP0002.jpg", 80), JpgResult::Written);
}

TEST_F(BmpFile, WritesBottomUpBgrRowsWithPadding)
{
    const fs::path path = m_root / "tiny.bmp";
    // 2 x 2 pixels with a stride wider than the row, as a grab can have.
    const std::uint32_t pixels[] = { 0xff112233u, 0xff445566u, 0xdeadbeefu, 0xff778899u, 0xffaabbccu, 0u };
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(pixels);
    ASSERT_TRUE(writeBmp24(path.string(), 2, 2, bytes, 12));
    // Size 70 with the pixels at 54; a 40-byte header: 2 x 2, 24 bits, uncompressed, 16 pixel bytes;
    // then the bottom row first, blue green red, each row padded to 4 bytes.
    const std::string expected = std::string("BM\x46\0\0\0\0\0\0\0\x36\0\0\0", 14)
        + std::string("\x28\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\x18\0\0\0\0\0\x10\0\0\0", 24)
        + std::string(16, '\0') + std::string("\x99\x88\x77\xcc\xbb\xaa\0\0\x33\x22\x11\x66\x55\x44\0\0", 16);
    EXPECT_EQ(readFile(path), expected);

    // A stride shorter than a row makes no bitmap.
    EXPECT_FALSE(writeBmp24((m_root / "a.bmp").string(), 3, 2, bytes, 11));
    EXPECT_FALSE(fs::exists(m_root / "a.bmp"));
}

// The description block between the headers and the pixels, which the pixel offset steps over;
// the pixels as without it.
TEST_F(BmpFile, DescriptionBlockBeforeThePixels)
{
    const std::uint32_t pixels[] = { 0xff112233u, 0xff445566u, 0xff778899u, 0xffaabbccu };
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(pixels);
    const fs::path plain = m_root / "plain.bmp";
    ASSERT_TRUE(writeBmp24(plain.string(), 2, 2, bytes, 8));
    const std::string plainFile = readFile(plain);
    const std::string text = "star offset +3.4 -1.2 px";
    const fs::path path = m_root / "described.bmp";
    ASSERT_TRUE(writeBmp24(path.string(), 2, 2, bytes, 8, { std::nullopt, text }));
    const std::string file = readFile(path);
    // 24 bytes of text: a block of 32, so the pixels at 86 and the file 102 bytes.
    EXPECT_EQ(file.substr(0, 14), std::string("BM\x66\0\0\0\0\0\0\0\x56\0\0\0", 14));
    EXPECT_EQ(file.substr(14, 40), plainFile.substr(14, 40));
    EXPECT_EQ(file.substr(54, 32), "ZXDESC\x18\0"s + text);
    EXPECT_EQ(file.substr(86), plainFile.substr(54));

    // Cut at the bound, never inside a character.
    const struct {
        std::string text;
        std::size_t kept;
    } cases[] = { { std::string(512, 'a'), 512 }, { std::string(511, 'a') + "\u00fc", 511 },
        { std::string(510, 'a') + "\u661f", 510 } };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.kept);
        ASSERT_TRUE(writeBmp24(path.string(), 2, 2, bytes, 8, { std::nullopt, c.text }));
        const std::string cut = readFile(path);
        const std::size_t length = static_cast<unsigned char>(cut[60]) | static_cast<unsigned char>(cut[61]) << 8;
        EXPECT_EQ(length, c.kept);
        EXPECT_EQ(cut.substr(62, length), c.text.substr(0, c.kept));
        EXPECT_EQ(cut.substr(cut.size() - 16), plainFile.substr(54));
    }
}

class PublishNewFile : public WriterTest { };

// Each way of giving the file its name must refuse to replace one, since on a
// given file system only one of them may ever run.
TEST_F(PublishNewFile, EveryMethodRefusesToReplace)
{
    using fileio::PublishMethod;
    using fileio::PublishResult;
    for (const auto method :
        { PublishMethod::Best, PublishMethod::LinkThenUnlink, PublishMethod::ReserveThenRename }) {
        SCOPED_TRACE(static_cast<int>(method));
        const fs::path folder = m_root / std::to_string(static_cast<int>(method));
        fs::create_directory(folder);
        const auto publish = [method](const fs::path &target, const std::string &text) {
            return fileio::publishNewFile(writerPath(target),
                { reinterpret_cast<const std::uint8_t *>(text.data()), text.size() }, method);
        };
        EXPECT_EQ(publish(folder / "CAP0001.jpg", "first"), PublishResult::Published);
        EXPECT_EQ(publish(folder / "CAP0001.jpg", "second"), PublishResult::Exists);
        EXPECT_EQ(readFile(folder / "CAP0001.jpg"), "first");
        EXPECT_EQ(publish(folder / "gone" / "x.jpg", "x"), PublishResult::Failed);
        EXPECT_EQ(entryCount(folder), 1); // no temporary or placeholder left behind
    }
}

// Pictures larger than one piece of the file and of every width modulo four, so that rows
// that end in padding, pieces that end mid-picture and pixels left over after the groups
// of four all show up.
TEST_F(BmpFile, LargePicturesRowByRow)
{
    for (const int width : { 1, 2, 3, 4, 5, 1283 }) {
        SCOPED_TRACE(width);
        const int height = 300;
        const std::size_t stride = static_cast<std::size_t>(width) * 4 + 8;
        std::vector<std::uint8_t> pixels(stride * height);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
        const fs::path path = m_root / "large.bmp";
        ASSERT_TRUE(writeBmp24(path.string(), width, height, pixels.data(), stride));
        const std::string file = readFile(path);
        const std::size_t pitch = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
        ASSERT_EQ(file.size(), 54 + pitch * height);
        std::size_t wrong = 0;
        for (int y = 0; y < height; ++y) {
            const std::uint8_t *source = pixels.data() + static_cast<std::size_t>(height - 1 - y) * stride;
            const auto *row = reinterpret_cast<const std::uint8_t *>(file.data()) + 54 + pitch * y;
            for (int x = 0; x < width; ++x) {
                std::uint32_t pixel;
                std::memcpy(&pixel, source + 4 * x, 4);
                wrong += row[3 * x] != (pixel & 0xff) || row[3 * x + 1] != (pixel >> 8 & 0xff)
                    || row[3 * x + 2] != (pixel >> 16 & 0xff);
            }
            for (std::size_t pad = static_cast<std::size_t>(width) * 3; pad < pitch; ++pad)
                wrong += row[pad] != 0;
        }
        EXPECT_EQ(wrong, 0u);
    }
}

// Strips: whole units of eight block rows each, the picture covered from top to bottom, as
// many as there are processors while each has work enough.
TEST(JpegStrips, Plan)
{
    using jpeg::planStrips;
    EXPECT_EQ(planStrips(1280, 1000, 100, 1).size(), 1u);
    EXPECT_EQ(planStrips(475, 314, 100, 8).size(), 1u); // the design size: too little work to share
    EXPECT_EQ(planStrips(16000, 64, 100, 8).size(), 1u); // one unit of rows
    const struct {
        int width, height, quality;
        unsigned processors;
        std::size_t strips;
    } cases[] = { { 1280, 1000, 100, 2, 2 }, { 1280, 1000, 50, 4, 2 }, { 4000, 3000, 100, 16, 8 },
        { 4000, 3000, 50, 3, 3 }, { 16000, 130, 100, 4, 3 }, { 16000, 130, 50, 4, 2 }, { 700, 700, 100, 8, 1 } };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " q" + std::to_string(c.quality));
        const jpeg::StripPlan plan = planStrips(c.width, c.height, c.quality, c.processors);
        EXPECT_EQ(plan.size(), c.strips);
        const int unit = jpeg::StripUnitMcuRows * jpeg::mcuHeight(c.quality);
        int next = 0;
        for (const jpeg::Strip &strip : plan) {
            EXPECT_EQ(strip.first, next);
            EXPECT_EQ(strip.first % unit, 0);
            EXPECT_GT(strip.rows, 0);
            next = strip.first + strip.rows;
        }
        EXPECT_EQ(next, c.height);
    }
}

// A busy picture, so that the encoder has much to say about every block, in the layouts
// bitmaps come in: 24-bit bottom-up rows padded to 4 bytes, 32-bit top-down.
struct Bitmap {
    std::vector<std::uint8_t> bytes;
    bmp::BitmapView view;
};

Bitmap busyBitmap(int width, int height, bmp::PixelLayout layout)
{
    const bool packed = layout == bmp::PixelLayout::Bgr24;
    const std::size_t pitch = packed ? (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4 : std::size_t(width) * 4;
    Bitmap b;
    b.bytes.resize(pitch * height);
    std::uint32_t seed = 7;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            std::uint8_t *p = b.bytes.data() + pitch * y + x * (packed ? 3 : 4);
            p[0] = static_cast<std::uint8_t>((x * 3 + (seed >> 28)) & 0xff);
            p[1] = static_cast<std::uint8_t>((y * 5 + (seed >> 24)) & 0xff);
            p[2] = static_cast<std::uint8_t>(((x ^ y) + (seed >> 29)) & 0xff);
        }
    }
    b.view = { b.bytes.data(), width, height, pitch, packed, layout, {} };
    return b;
}

std::vector<std::uint8_t> decoded(std::span<const std::uint8_t> jpeg, int width, int height)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    tjhandle decoder = tjInitDecompress();
    // A restart marker out of order is only a warning to the decoder; here it fails.
    const int status = tjDecompress2(decoder, jpeg.data(), jpeg.size(), rgb.data(), width, 0, height, TJPF_RGB,
        TJFLAG_STOPONWARNING);
    tjDestroy(decoder);
    return status == 0 ? rgb : std::vector<std::uint8_t> {};
}

// Encoded in strips side by side, a picture decodes to exactly what it decodes to encoded in
// one piece, at both subsamplings, with odd sizes and with every count of strips.
TEST(JpegStrips, DecodeAsTheWholePicture)
{
    for (const auto layout : { bmp::PixelLayout::Bgr24, bmp::PixelLayout::Bgrx32 }) {
        const Bitmap bitmap = busyBitmap(1601, 1501, layout);
        for (const int quality : { 100, 92, 50 }) {
            const auto whole = jpeg::encodeJpeg(bitmap.view, quality, 1);
            ASSERT_TRUE(whole);
            const std::vector<std::uint8_t> expected = decoded(whole->bytes(), 1601, 1501);
            ASSERT_FALSE(expected.empty());
            for (const unsigned processors : { 2u, 3u, 4u }) {
                SCOPED_TRACE(::testing::Message() << "q" << quality << ", " << processors << " strips");
                const auto striped = jpeg::encodeJpeg(bitmap.view, quality, processors);
                ASSERT_TRUE(striped);
                // The strips were taken: their stream has restart markers the whole one lacks.
                EXPECT_GT(striped->bytes().size(), whole->bytes().size());
                EXPECT_TRUE(decoded(striped->bytes(), 1601, 1501) == expected);
            }
        }
    }
}

// An APP1 segment goes right after the start of the stream and its JFIF header, in one piece
// and in strips alike; the rest of the stream is as without it, the frame's height included.
TEST(JpegStrips, App1SegmentAfterTheJfifHeader)
{
    const Bitmap bitmap = busyBitmap(1601, 1501, bmp::PixelLayout::Bgr24);
    const std::vector<std::uint8_t> app1 { 0xff, 0xe1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0, 0 };
    for (const unsigned processors : { 1u, 3u }) {
        SCOPED_TRACE(processors);
        const auto plain = jpeg::encodeJpeg(bitmap.view, 95, processors);
        const auto stamped = jpeg::encodeJpeg(bitmap.view, 95, processors, app1);
        ASSERT_TRUE(plain && stamped);
        const auto bytes = plain->bytes();
        ASSERT_GT(bytes.size(), 20u);
        ASSERT_EQ(std::string_view(reinterpret_cast<const char *>(bytes.data()), 4), "\xff\xd8\xff\xe0"sv);
        const std::size_t split = 4 + (std::size_t(bytes[4]) << 8 | bytes[5]);
        std::vector<std::uint8_t> expected(bytes.begin(), bytes.begin() + split);
        expected.insert(expected.end(), app1.begin(), app1.end());
        expected.insert(expected.end(), bytes.begin() + split, bytes.end());
        EXPECT_TRUE(std::ranges::equal(stamped->bytes(), expected));
    }
}

} // namespace
} // namespace zx::test
