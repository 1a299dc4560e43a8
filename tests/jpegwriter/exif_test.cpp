// What a snapshot's JPEG file says besides the pixels.
#include "exif.h"
#include "exifreader.h"

#include <gtest/gtest.h>

#include <string>

namespace zx::test {
namespace {

using namespace std::literals;

constexpr std::uint16_t ImageDescription = 0x010e;
constexpr std::uint16_t ExifIfdPointer = 0x8769;
constexpr std::uint16_t DateTimeOriginal = 0x9003;
constexpr std::uint16_t OffsetTimeOriginal = 0x9011;
constexpr std::uint16_t SubSecTimeOriginal = 0x9291;

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
