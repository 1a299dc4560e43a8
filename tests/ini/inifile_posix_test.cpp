#include "inifile.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include <sys/resource.h>

// Saving with what only POSIX systems have: permission bits, and a file size
// limit that makes a write fail even for root.
namespace zx {
namespace {

using namespace test;

TEST(IniFile, SaveKeepsTheOldFilesPermissions)
{
    TempDir dir;
    INIfile doc;
    doc.iniLines().add("[NEW]");
    const auto target = dir / "z.ini";
    writeBytes(target, "old\r\n");
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(target, perms);
    ASSERT_TRUE(doc.saveFile(target));
    EXPECT_EQ(readBytes(target), "[NEW]\r\n");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, perms);
}

TEST(IniFile, AWriteThatFailsKeepsTheOldFile)
{
    TempDir dir;
    const auto target = dir / "z.ini";
    writeBytes(target, "[OLD]\r\n");
    // The text runs into the file size limit.
    INIfile big;
    big.iniLines().add("", "K", std::string(100000, 'v'));
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit before = limit;
    limit.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool bigSaved = big.saveFile(target);
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_FALSE(bigSaved);
    EXPECT_EQ(readBytes(target), "[OLD]\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 1) << "temporary file left behind";
}

} // namespace
} // namespace zx
