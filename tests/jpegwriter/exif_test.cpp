// What a snapshot's JPEG file says besides the pixels: the moment (from the
// bitmap's modification time) and the description (from the bitmap's block).
#include "bmpreader.h"
#include "exif.h"
#include "exifreader.h"
#include "snapshotsaver.h"
#include "writertest.h"

#include <zentrolux/descriptionblock.h>

#include <gtest/gtest.h>

#include <chrono>
#include <regex>

namespace zx::test {
namespace {

using namespace std::chrono;
using namespace std::literals;

constexpr std::uint16_t ImageDescription = 0x010e;
constexpr std::uint16_t ExifIfdPointer = 0x8769;
constexpr std::uint16_t ExifVersion = 0x9000;
constexpr std::uint16_t DateTimeOriginal = 0x9003;
constexpr std::uint16_t OffsetTimeOriginal = 0x9011;
constexpr std::uint16_t SubSecTimeOriginal = 0x9291;

// The instant the three time fields name together, to the millisecond; none when
// one is missing or not in its form.
std::optional<system_clock::time_point> exifInstant(const ExifFound &exif)
{
    const auto dateTime = ExifFound::text(exif.exifIfd, DateTimeOriginal);
    const auto subSecond = ExifFound::text(exif.exifIfd, SubSecTimeOriginal);
    const auto offset = ExifFound::text(exif.exifIfd, OffsetTimeOriginal);
    std::smatch d, o;
    if (!dateTime || !subSecond || !offset
        || !std::regex_match(*dateTime, d, std::regex(R"((\d{4}):(\d\d):(\d\d) (\d\d):(\d\d):(\d\d))"))
        || !std::regex_match(*subSecond, std::regex(R"(\d{3})"))
        || !std::regex_match(*offset, o, std::regex(R"(([+-])(\d\d):(\d\d))")))
        return std::nullopt;
    const auto number = [](const std::ssub_match &m) { return std::stoi(m.str()); };
    const sys_days day = year(number(d[1])) / number(d[2]) / number(d[3]);
    const minutes zone = (o[1] == "-" ? -1 : 1) * (hours(number(o[2])) + minutes(number(o[3])));
    return day + hours(number(d[4])) + minutes(number(d[5])) + seconds(number(d[6]))
        + milliseconds(std::stoi(*subSecond)) - zone;
}

std::optional<ExifFound> exifOf(const fs::path &jpeg)
{
    return readExif(readFile(jpeg));
}

TEST_F(WriterTest, ExifHoldsTheBitmapsTimeAndDescription)
{
    // Winter and summer, where most zones differ by an hour; small milliseconds, to be written
    // with their zeros; descriptions short enough to sit in their entry, beyond ASCII, and none.
    const sys_days winter = 2024y / January / 15;
    const sys_days summer = 2024y / July / 15;
    const struct {
        system_clock::time_point moment;
        const char *subSecond;
        std::string description;
    } cases[] = {
        { winter + 12h + 34min + 56s + 123ms, "123", "star offset +3.4 -1.2 px" },
        { summer + 3h + 4min + 5s + 9ms, "009", "ab" },
        { summer + 23h + 59min + 59s + 999ms, "999", "J\u00fcrgen \u661f" },
        { winter, "000", "" },
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        ASSERT_TRUE(writeBmp24(bitmapPath(), kWidth, kHeight, reinterpret_cast<const std::uint8_t *>(m_picture.data()),
            kWidth * 4, { c.moment, c.description }));
        const fs::path target = m_images / ("CAP000" + std::to_string(++n) + ".jpg");
        ASSERT_EQ(write(target, 90), JpgResult::Written);
        const auto exif = exifOf(target);
        ASSERT_TRUE(exif);
        // First among the headers, or after the JFIF header alone.
        EXPECT_TRUE(exif->markersBefore.empty() || exif->markersBefore == std::vector<std::uint8_t> { 0xe0 });
        ASSERT_TRUE(exif->exifIfd.contains(ExifVersion));
        EXPECT_EQ(exif->exifIfd.at(ExifVersion).type, 7);
        EXPECT_EQ(exif->exifIfd.at(ExifVersion).bytes, "0232");
        EXPECT_EQ(exifInstant(*exif), c.moment);
        EXPECT_EQ(ExifFound::text(exif->exifIfd, SubSecTimeOriginal), c.subSecond);
        if (c.description.empty())
            EXPECT_FALSE(exif->ifd0.contains(ImageDescription));
        else
            EXPECT_EQ(ExifFound::text(exif->ifd0, ImageDescription), c.description);
        EXPECT_LT(jpegError(target, m_picture), 1.5);
    }
}

// The program's road: the saver hands the stamp to the writer through the bitmap.
TEST_F(WriterTest, SaverStampsTheFile)
{
    SnapshotSaver saver({}); // the writer this test program is linked with, or the one beside it
    const Picture picture { kWidth, kHeight, kWidth * 4, reinterpret_cast<const std::uint8_t *>(m_picture.data()), {} };
    // Long ago, so that it cannot be the time the bitmap was written.
    const auto moment = sys_days(2023y / October / 5) + 1h + 2min + 3s + 456ms;
    SnapshotTimings timings;
    const Written written = saver.write(picture, m_images, 7, 90, { moment, "star offset +3.4 -1.2 px" }, timings);
    ASSERT_EQ(written.number, 7) << written.problem;
    const auto exif = exifOf(m_images / "CAP0007.jpg");
    ASSERT_TRUE(exif);
    EXPECT_EQ(exifInstant(*exif), moment);
    EXPECT_EQ(ExifFound::text(exif->ifd0, ImageDescription), "star offset +3.4 -1.2 px");
    EXPECT_FALSE(fs::exists(bitmapPath())) << "the saver removes the bitmap";
}

TEST_F(WriterTest, ExifTimeOfABitmapNobodyStamped)
{
    // A caller that sets no time: the bitmap's is when it was written. File times come from
    // the kernel's coarse clock, a tick behind the one read here.
    const auto before = system_clock::now();
    ASSERT_TRUE(writeBmp24(
        bitmapPath(), kWidth, kHeight, reinterpret_cast<const std::uint8_t *>(m_picture.data()), kWidth * 4));
    const auto after = system_clock::now();
    ASSERT_EQ(write(m_images / "CAP0001.jpg", 50), JpgResult::Written);
    const auto exif = exifOf(m_images / "CAP0001.jpg");
    ASSERT_TRUE(exif);
    const auto moment = exifInstant(*exif);
    ASSERT_TRUE(moment);
    EXPECT_GE(*moment, before - 20ms);
    EXPECT_LE(*moment, after);
    EXPECT_FALSE(exif->ifd0.contains(ImageDescription));
}

// A bitmap of one pixel whose headers are followed by `gap`, then the pixel's row.
std::string bitmapWithGap(std::string_view gap)
{
    const std::size_t offset = 54 + gap.size();
    std::string file = "BM"s + std::string(8, '\0');
    for (int i = 0; i < 4; ++i)
        file += static_cast<char>(offset >> (8 * i) & 0xff);
    file += "\x28\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\x18\0"sv;
    file += std::string(24, '\0');
    return file + std::string(gap) + "\x10\x20\x30\0"s;
}

std::string block(std::string_view text, std::size_t length, std::size_t padding = 0)
{
    const char size[2] = { static_cast<char>(length & 0xff), static_cast<char>(length >> 8) };
    return "ZXDESC"s + std::string(size, 2) + std::string(text) + std::string(padding, '\0');
}

TEST(BmpReader, DescriptionBlock)
{
    const std::string longest(descriptionblock::MaxTextBytes, 'x');
    const struct {
        const char *name;
        std::string gap;
        std::string_view description; // what is read; empty when the block is refused
    } cases[] = {
        { "none", "", "" },
        { "a gap without a block", std::string(16, '\0'), "" },
        { "well formed", block("star", 4), "star" },
        { "padded", block("star", 4, 4), "star" },
        { "beyond ASCII", block("J\u00fcrgen \u661f \U0001d11e", 16), "J\u00fcrgen \u661f \U0001d11e" },
        { "at the bound", block(longest, longest.size()), longest },
        { "past the bound", block(longest + "x", longest.size() + 1), "" },
        { "longer than the gap", block("star", 5), "" },
        { "length absurd", block("star", 0xffff), "" },
        { "header cut short", "ZXDESC\x04"s, "" },
        { "another magic", "ZXDESK\x04\0star"s, "" },
        { "NUL inside", block("st\0r"sv, 4), "" },
        { "lone continuation byte", block("st\x80r", 4), "" },
        { "overlong slash", block("\xc0\xaf", 2), "" },
        { "surrogate", block("\xed\xa0\x80", 3), "" },
        { "beyond U+10FFFF", block("\xf4\x90\x80\x80", 4), "" },
        { "character cut at the end", block("st\xe2\x82", 4), "" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = bitmapWithGap(c.gap);
        const auto view = bmp::parseBmp({ reinterpret_cast<const std::uint8_t *>(file.data()), file.size() });
        // Whatever the block says, the picture is still read, from where the offset points.
        ASSERT_TRUE(view);
        EXPECT_EQ(view->pixels, reinterpret_cast<const std::uint8_t *>(file.data()) + 54 + c.gap.size());
        EXPECT_EQ(view->description, c.description);
    }
}

TEST_F(WriterTest, ABrokenDescriptionBlockStillGivesThePicture)
{
    ASSERT_TRUE(writeBmp24(bitmapPath(), kWidth, kHeight, reinterpret_cast<const std::uint8_t *>(m_picture.data()),
        kWidth * 4, { system_clock::now(), "star" }));
    std::string broken = readFile(bitmapPath());
    writeFile(bitmapPath(), broken.replace(60, 2, "\xff\xff")); // the block's length, far past the pixels
    ASSERT_EQ(write(m_images / "CAP0001.jpg", 80), JpgResult::Written);
    const auto exif = exifOf(m_images / "CAP0001.jpg");
    ASSERT_TRUE(exif);
    EXPECT_FALSE(exif->ifd0.contains(ImageDescription));
    EXPECT_TRUE(exifInstant(*exif));
}

TEST(Exif, Segment)
{
    EXPECT_TRUE(exif::app1Segment({}).empty()) << "nothing to say, no segment";

    // A description alone: IFD0 without a pointer to an Exif IFD.
    auto segment = exif::app1Segment({ std::nullopt, "star offset +3.4 -1.2 px" });
    auto found = readExif("\xff\xd8"s + std::string(segment.begin(), segment.end()) + "\xff\xda\0\x02"s);
    ASSERT_TRUE(found);
    EXPECT_EQ(ExifFound::text(found->ifd0, ImageDescription), "star offset +3.4 -1.2 px");
    EXPECT_FALSE(found->ifd0.contains(ExifIfdPointer));
    EXPECT_EQ(segment[2] << 8 | segment[3], static_cast<int>(segment.size()) - 2) << "the length counts itself";

    // Zones west and far east, the last moment EXIF can write; one it cannot.
    const struct {
        exif::LocalMoment moment;
        const char *dateTime; // nullptr: no Exif IFD
        const char *subSecond;
        const char *offset;
    } cases[] = {
        { { 2024, 11, 3, 1, 30, 0, 7, -210 }, "2024:11:03 01:30:00", "007", "-03:30" },
        { { 2024, 1, 1, 0, 0, 0, 0, 14 * 60 }, "2024:01:01 00:00:00", "000", "+14:00" },
        { { 9999, 12, 31, 23, 59, 59, 999, 0 }, "9999:12:31 23:59:59", "999", "+00:00" },
        { { 10000, 1, 1, 0, 0, 0, 0, 0 }, nullptr, nullptr, nullptr },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.moment.year);
        segment = exif::app1Segment({ c.moment, "" });
        found = readExif("\xff\xd8"s + std::string(segment.begin(), segment.end()) + "\xff\xda\0\x02"s);
        if (c.dateTime == nullptr) {
            EXPECT_TRUE(segment.empty());
            continue;
        }
        ASSERT_TRUE(found);
        EXPECT_EQ(ExifFound::text(found->exifIfd, DateTimeOriginal), c.dateTime);
        EXPECT_EQ(ExifFound::text(found->exifIfd, SubSecTimeOriginal), c.subSecond);
        EXPECT_EQ(ExifFound::text(found->exifIfd, OffsetTimeOriginal), c.offset);
    }
}

} // namespace
} // namespace zx::test
