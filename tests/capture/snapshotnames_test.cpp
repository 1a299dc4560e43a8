#include "foldertest.h"
#include "snapshotnames.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <set>
#include <string>

namespace {

using namespace zx::test;

TEST_F(ImagesFolder, NextNumberScansTheFolder)
{
    EXPECT_EQ(zx::nextSnapshotNumber(m_dir / "missing"), 1);
    EXPECT_EQ(zx::nextSnapshotNumber(m_dir), 1);

    touch({ "CAP0041.jpg", "notes.jpg" });
    EXPECT_EQ(zx::nextSnapshotNumber(m_dir), 42);

    reset();
    touch({ "CAPx.jpg" });
    EXPECT_EQ(zx::nextSnapshotNumber(m_dir), 1);

    reset();
    touch({ "cap0005.JPG", "CAP12.jpg" });
    EXPECT_EQ(zx::nextSnapshotNumber(m_dir), 13); // "12.j" reads as 12

    reset();
    touch({ "CAP0001.jpg", "CAP0007.jpg", "CAP0300.jpeg", "XCAP0500.jpg", ".CAP0900.jpg" });
    fs::create_directory(m_dir / "CAP0800.jpg"); // a folder is not a snapshot
    EXPECT_EQ(zx::nextSnapshotNumber(m_dir), 8); // gaps are not filled

    // Past CAP9999.jpg the numbers keep rising, and run out rather than wrap.
    reset();
    touch({ "CAP9999.jpg" });
    const auto n = zx::nextSnapshotNumber(m_dir);
    ASSERT_EQ(n, 10000);
    EXPECT_EQ(zx::snapshotFileName(*n), "CAP10000.jpg");
    touch({ "CAP10000.jpg" });
    EXPECT_EQ(zx::nextSnapshotNumber(m_dir), 10001);
    touch({ "CAP2147483647.jpg" });
    EXPECT_FALSE(zx::nextSnapshotNumber(m_dir).has_value());
}

TEST_F(ImagesFolder, DeleteCountsWhatStayed)
{
    touch({ "CAP0001.jpg", "photo.JPG", "keep.txt" });
    const auto jpegs = zx::listFiles(m_dir, zx::isJpegName);
    ASSERT_EQ(jpegs.size(), 2u);
    auto toDelete = jpegs;
    toDelete.push_back(m_dir / "gone.jpg"); // vanished meanwhile
    EXPECT_EQ(zx::deleteFiles(toDelete), 1);
    EXPECT_TRUE(zx::listFiles(m_dir, zx::isJpegName).empty());
    EXPECT_TRUE(fs::exists(m_dir / "keep.txt"));
}

TEST_F(ImagesFolder, NamesOutsideAscii)
{
    // Neither the folder's name nor another file's may stop the count or the listing.
    const fs::path folder = m_dir / fs::path(u8"Bilder J\u00fcrgen \u661f");
    fs::create_directory(folder);
    const fs::path other = folder / fs::path(u8"M\u00fcnster \u661f.jpg");
    std::ofstream(other) << "x";
    std::ofstream(folder / "CAP0005.jpg") << "x";
    EXPECT_EQ(zx::nextSnapshotNumber(folder), 6);
    const auto jpegs = zx::listFiles(folder, zx::isJpegName);
    EXPECT_EQ(std::set<fs::path>(jpegs.begin(), jpegs.end()),
        (std::set<fs::path> { other, folder / "CAP0005.jpg" }));
}

TEST(SnapshotNames, NumberOfAName)
{
    const std::pair<const char *, double> cases[] = {
        { "CAP0041.jpg", 41 },
        { "CAP12.jpg", 12 },
        { "CAPx.jpg", 0 },
        { "CAP1E3.jpg", 1000 },
        { "CAP 7.jpg", 7 },
        { "CAP12345.jpg", 12345 },
        { "CAP0001 copy.jpg", 1 },
    };
    for (const auto &[name, expected] : cases)
        EXPECT_DOUBLE_EQ(zx::snapshotNumberOf(name), expected) << name;
    EXPECT_EQ(zx::snapshotFileName(1), "CAP0001.jpg");
    EXPECT_EQ(zx::snapshotFileName(123), "CAP0123.jpg");
    EXPECT_TRUE(zx::isSnapshotName("cAp.JpG")); // the wildcard's star may be empty
    EXPECT_FALSE(zx::isSnapshotName("CAP.jp"));
    EXPECT_TRUE(zx::isSnapshotName("cap0001.JpG"));
    EXPECT_FALSE(zx::isSnapshotName("CAP0001.jpg.part"));
}

TEST(SnapshotNames, IntervalAnswers)
{
    using K = zx::IntervalAnswer::Kind;
    const struct {
        const char *text;
        K kind;
        int ms;
    } cases[] = {
        { "", K::Empty, 0 },
        { "1", K::Accepted, 1 },
        { "65000", K::Accepted, 65000 },
        { "0", K::OutOfRange, 0 },
        { "65001", K::OutOfRange, 0 },
        { "abc", K::OutOfRange, 0 },
        { "0.4", K::OutOfRange, 0 },
        { "1500 ms", K::Accepted, 1500 },
        { "1 500", K::Accepted, 1500 },
        { "2.5", K::Accepted, 2 },
        { "3.5", K::Accepted, 4 },
        { "64999.9", K::Accepted, 65000 },
        { "-5", K::OutOfRange, 0 },
        { "1e999", K::OutOfRange, 0 },
    };
    for (const auto &c : cases) {
        const auto a = zx::readIntervalAnswer(c.text);
        EXPECT_EQ(a.kind, c.kind) << c.text;
        if (c.kind == K::Accepted) {
            EXPECT_EQ(a.milliseconds, c.ms) << c.text;
        }
    }
}

TEST(SnapshotNames, Captions)
{
    std::tm t {};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 21;
    t.tm_min = 5;
    t.tm_sec = 9;
    EXPECT_EQ(zx::momentCaption("Zentrolux", t), "Zentrolux - 2024-03-07 21:05:09");
    EXPECT_EQ(zx::sequenceCaption("StarCross", 3), "StarCross - CAP0003.jpg");
    EXPECT_EQ(zx::sequenceCaption("Zentrolux", 10000), "Zentrolux - CAP10000.jpg");
}

} // namespace
