#include "exifreader.h"
#include "writertest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string_view>
#include <unistd.h>

// What the writer does with symbolic links and permission bits, and the private
// folder of the snapshot bitmap that POSIX systems need (Windows gives each user a
// temporary folder of their own).
namespace zx::test {
namespace {

using namespace std::literals;

TEST_F(WriterTest, ABitmapBehindALinkIsRefused)
{
    // Not followed even to a good bitmap.
    writeFile(m_root / "elsewhere.bmp", readFile(bitmapPath()));
    fs::remove(bitmapPath());
    fs::create_symlink(m_root / "elsewhere.bmp", bitmapPath());
    EXPECT_EQ(write(m_images / "CAP0001.jpg", 50), JpgResult::BadBitmap);
    EXPECT_EQ(entryCount(m_images), 0);
}

TEST_F(WriterTest, ADanglingLinkHoldsItsName)
{
    const fs::path danglingLink = m_images / "CAP0002.jpg";
    fs::create_symlink(m_root / "nowhere.jpg", danglingLink);
    EXPECT_EQ(write(danglingLink, 80), JpgResult::TargetExists);
    EXPECT_TRUE(fs::is_symlink(danglingLink));
    EXPECT_FALSE(fs::exists(m_root / "nowhere.jpg"));
    EXPECT_EQ(entryCount(m_images), 1);
}

// TZ as given for the test's time, as it was afterwards.
class TimeZone {
public:
    explicit TimeZone(const char *zone)
    {
        if (const char *was = std::getenv("TZ"))
            m_was = was;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~TimeZone()
    {
        if (m_was)
            ::setenv("TZ", m_was->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    TimeZone(const TimeZone &) = delete;
    TimeZone &operator=(const TimeZone &) = delete;

private:
    std::optional<std::string> m_was;
};

// The local time and offset of the moment itself, not of today: each zone's winter and summer
// (rules spelt out, so no time zone database is needed), west and east, a new year crossed.
TEST_F(WriterTest, ExifLocalTimeAndOffsetOfTheMomentsZone)
{
    using namespace std::chrono;
    const auto winter = sys_days(2024y / January / 15) + 12h + 34min + 56s + 123ms;
    const auto summer = sys_days(2024y / July / 15) + 12h + 34min + 56s + 123ms;
    const char *const central = "CET-1CEST,M3.5.0,M10.5.0/3";
    const char *const newfoundland = "NST3:30NDT,M3.2.0,M11.1.0";
    const struct {
        const char *zone;
        system_clock::time_point moment;
        const char *dateTime;
        const char *offset;
    } cases[] = {
        { central, winter, "2024:01:15 13:34:56", "+01:00" },
        { central, summer, "2024:07:15 14:34:56", "+02:00" },
        { central, sys_days(2023y / December / 31) + 23h + 30min + 123ms, "2024:01:01 00:30:00", "+01:00" },
        { newfoundland, winter, "2024:01:15 09:04:56", "-03:30" },
        { newfoundland, summer, "2024:07:15 10:04:56", "-02:30" },
        { "<+0545>-5:45", winter, "2024:01:15 18:19:56", "+05:45" },
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.dateTime);
        const TimeZone zone(c.zone);
        ASSERT_TRUE(writeBmp24(bitmapPath(), kWidth, kHeight, reinterpret_cast<const std::uint8_t *>(m_picture.data()),
            kWidth * 4, { c.moment, {} }));
        const fs::path target = m_images / ("CAP000" + std::to_string(++n) + ".jpg");
        ASSERT_EQ(write(target, 75), JpgResult::Written);
        const auto exif = readExif(readFile(target));
        ASSERT_TRUE(exif);
        EXPECT_EQ(ExifFound::text(exif->exifIfd, 0x9003), c.dateTime);
        EXPECT_EQ(ExifFound::text(exif->exifIfd, 0x9291), "123");
        EXPECT_EQ(ExifFound::text(exif->exifIfd, 0x9011), c.offset);
    }
}

TEST_F(BmpFile, OwnerOnlyAndNeverThroughALink)
{
    const fs::path path = m_root / "tiny.bmp";
    const std::uint32_t pixels[] = { 0xff112233u, 0xff445566u, 0xff778899u, 0xffaabbccu };
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(pixels);
    ASSERT_TRUE(writeBmp24(path.string(), 2, 2, bytes, 8));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    const std::string written = readFile(path);
    fs::create_symlink(path, m_root / "link.bmp");
    EXPECT_FALSE(writeBmp24((m_root / "link.bmp").string(), 1, 1, bytes, 4));
    EXPECT_EQ(readFile(path), written);
}

class TempBitmapPath : public WriterTest { };

// Sets an environment variable of this test program for one scope.
class ScopedVariable {
public:
    ScopedVariable(std::string name, const std::string &value)
        : m_name(std::move(name))
    {
        if (const char *old = std::getenv(m_name.c_str()))
            m_old = old;
        ::setenv(m_name.c_str(), value.c_str(), 1);
    }
    ~ScopedVariable()
    {
        if (m_old)
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

TEST_F(TempBitmapPath, UsesOnlyAPrivateFolder)
{
    // The fixture's call made the folder, private, in the runtime folder; later calls accept it.
    const fs::path folder = m_root / "zentrolux";
    EXPECT_EQ(fs::path(bitmapPath()).parent_path(), folder);
    EXPECT_EQ(fs::symlink_status(folder).permissions(), fs::perms::owner_all);
    // Refused: a folder the group or others may enter, and a link even to a private folder.
    for (const int mode : { 0750, 0701 }) {
        SCOPED_TRACE(mode);
        fs::permissions(folder, static_cast<fs::perms>(mode));
        EXPECT_FALSE(tempBitmapPath());
    }
    fs::remove_all(folder);
    fs::create_directory_symlink(m_root, folder);
    EXPECT_FALSE(tempBitmapPath());
}

TEST_F(TempBitmapPath, AFolderTakenByOthersGivesWayToOneOfThisRun)
{
    const std::string valid = readFile(bitmapPath());
    // No runtime folder: the shared temporary folder is where others can get in first.
    ::unsetenv("XDG_RUNTIME_DIR");
    const ScopedVariable tmpdir("TMPDIR", m_root.string());
    const fs::path usual = m_root / ("zentrolux-" + std::to_string(::geteuid()));
    const auto takeOver = [&](const char *how) {
        fs::remove_all(usual);
        if (how == "link"sv) {
            fs::create_directory_symlink(m_root, usual);
        } else {
            fs::create_directory(usual);
            fs::permissions(usual, fs::perms::all); // open to everyone, as another user's would be
        }
    };
    for (const char *how : { "link", "open folder" }) {
        SCOPED_TRACE(how);
        takeOver(how);
        EXPECT_FALSE(tempBitmapPath());
        const auto path = prepareTempBitmapPath();
        ASSERT_TRUE(path);
        const fs::path own = fs::path(*path).parent_path();
        EXPECT_NE(own, usual);
        EXPECT_EQ(fs::symlink_status(own).permissions(), fs::perms::owner_all);
        // The writer, in the same process, finds the bitmap there.
        EXPECT_EQ(tempBitmapPath(), path);
        writeFile(*path, valid);
        EXPECT_EQ(write(m_images / (std::string(how) + ".jpg"), 90), JpgResult::Written);
        fs::remove(*path);
        removeRunTempFolder();
        EXPECT_FALSE(fs::exists(own));
    }
}

// Which folder the bitmap goes to, by what the system offers: a folder in
// memory first, the runtime folder before a shared one.
TEST(TempBitmapFolder, InMemoryFirst)
{
    const auto choose = [](const std::string &runtime, bool runtimeInMemory, bool tmpInMemory, bool shmInMemory) {
        return detail::chooseFolder({ runtime, runtimeInMemory, "/tmp", tmpInMemory, shmInMemory }, 1000);
    };
    // The runtime folder of a desktop session lives in memory.
    EXPECT_EQ(choose("/run/user/1000", true, false, true), "/run/user/1000/zentrolux");
    // One on a disk gives way to the temporary folder in memory, else to the shared memory folder.
    EXPECT_EQ(choose("/home/u/.run", false, true, true), "/tmp/zentrolux-1000");
    EXPECT_EQ(choose("/home/u/.run", false, false, true), "/dev/shm/zentrolux-1000");
    EXPECT_EQ(choose("", false, false, true), "/dev/shm/zentrolux-1000");
    // With no folder in memory: the runtime folder, else the temporary one.
    EXPECT_EQ(choose("/home/u/.run", false, false, false), "/home/u/.run/zentrolux");
    EXPECT_EQ(choose("", false, false, false), "/tmp/zentrolux-1000");
#ifdef __linux__
    EXPECT_FALSE(detail::inMemory("/proc"));
    if (fs::is_directory(detail::SharedMemoryFolder)) {
        EXPECT_TRUE(detail::inMemory(detail::SharedMemoryFolder)); // a tmpfs wherever Linux mounts one
    }
#endif
}

} // namespace
} // namespace zx::test
