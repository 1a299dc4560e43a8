#include "filelocations.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif
#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

#include <string>

namespace zx {
namespace {

using namespace test;

const fs::path writerFromBin = "../lib/x86_64-linux-gnu/zentrolux";

TEST(FileLocations, PortableOrInstalledAndTheirPaths)
{
    struct Case {
        const char *what;
        std::string name;
        FolderFacts facts;
        UserFolders user;
        bool installed;
        fs::path settings, images;
    };
    const UserFolders ann { "/home/ann/cfg", "/home/ann", "/home/ann/Bilder" };
    const UserFolders plain { "", "/home/bob", "" };
    const Case cases[] = {
        { "build or copied folder", "Zentrolux", { "/home/ann/zx", false, true, true }, ann, false,
            "/home/ann/zx/Zentrolux.ini", "/home/ann/zx/Images" },
        { "Images removed by hand: still portable, and not made", "Zentrolux",
            { "/home/ann/zx", false, true, false }, ann, false, "/home/ann/zx/Zentrolux.ini",
            "/home/ann/zx/Images" },
        { "read-only folder holding Images", "Zentrolux", { "/media/cd", false, false, true }, ann, false,
            "/media/cd/Zentrolux.ini", "/media/cd/Images" },
        { "renamed portable copy", "Guide", { "/home/ann/zx", false, true, true }, ann, false,
            "/home/ann/zx/Guide.ini", "/home/ann/zx/Images" },
        { "unwritable without Images", "Zentrolux", { "/opt/zx/bin", false, false, false }, ann, true,
            "/home/ann/cfg/Zentrolux/Zentrolux.ini", "/home/ann/Bilder/Zentrolux" },
        { "install folder, XDG_CONFIG_HOME unset, no pictures folder named", "Zentrolux",
            { "/usr/bin", true, false, false }, plain, true, "/home/bob/.config/Zentrolux/Zentrolux.ini",
            "/home/bob/Pictures/Zentrolux" },
        { "install folder that root may write", "Zentrolux", { "/usr/bin", true, true, false },
            { "", "/root", "/root/Pictures" }, true, "/root/.config/Zentrolux/Zentrolux.ini",
            "/root/Pictures/Zentrolux" },
        { "install folder holding Images", "Zentrolux", { "/usr/bin", true, true, true }, plain, true,
            "/home/bob/.config/Zentrolux/Zentrolux.ini", "/home/bob/Pictures/Zentrolux" },
        { "relative XDG_CONFIG_HOME is ignored", "Zentrolux", { "/usr/bin", true, false, false },
            { "cfg", "/home/bob", "" }, true, "/home/bob/.config/Zentrolux/Zentrolux.ini",
            "/home/bob/Pictures/Zentrolux" },
        { "renamed installed copy", "Guide", { "/usr/bin", true, false, false }, ann, true,
            "/home/ann/cfg/Guide/Guide.ini", "/home/ann/Bilder/Guide" },
    };
    for (const Case &c : cases) {
        const FileLocations got = fileLocations(c.name, c.facts, c.user, writerFromBin);
        EXPECT_EQ(got.installed, c.installed) << c.what;
        EXPECT_EQ(got.settingsFile, c.settings) << c.what;
        EXPECT_EQ(got.imagesFolder, c.images) << c.what;
    }
}

TEST(FileLocations, WriterBesideTheProgramThenInItsPrivateFolder)
{
    const UserFolders user { "", "/home/ann", "" };
    const std::pair<FolderFacts, std::vector<fs::path>> cases[] = {
        { { "/usr/bin", true, false, false }, { "/usr/bin", "/usr/lib/x86_64-linux-gnu/zentrolux" } },
        // An install moved elsewhere keeps its layout.
        { { "/opt/zx/bin", false, false, false },
            { "/opt/zx/bin", "/opt/zx/lib/x86_64-linux-gnu/zentrolux" } },
        { { "/home/ann/zx", false, true, true },
            { "/home/ann/zx", "/home/ann/lib/x86_64-linux-gnu/zentrolux" } },
    };
    for (const auto &[facts, folders] : cases)
        EXPECT_EQ(fileLocations("Zentrolux", facts, user, writerFromBin).writerFolders, folders)
            << facts.folder;
}

#if !defined(_WIN32)

// Makes a folder refuse new entries, also to root (for whom mode bits do not count).
class ReadOnly {
public:
    explicit ReadOnly(const fs::path &folder)
        : m_folder(folder)
    {
        if (geteuid() != 0) {
            fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
            m_done = true;
            return;
        }
        m_done = setImmutable(true);
    }
    ~ReadOnly()
    {
        if (geteuid() != 0)
            fs::permissions(m_folder, fs::perms::owner_all);
        else if (m_done)
            setImmutable(false);
    }
    [[nodiscard]] bool done() const { return m_done; }

private:
    bool setImmutable([[maybe_unused]] bool on)
    {
#if defined(__linux__)
        const int fd = open(m_folder.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        close(fd);
        return ok;
#else
        return false;
#endif
    }

    fs::path m_folder;
    bool m_done = false;
};

TEST(FileLocations, FactsReadFromTheFolder)
{
    TempDir dir;
    const fs::path bin = dir / "bin";
    fs::create_directories(bin);
    fs::create_directory_symlink(bin, dir / "link");

    FolderFacts facts = inspectFolder(dir / "link", dir / "other");
    EXPECT_EQ(facts.folder, fs::canonical(bin));
    EXPECT_FALSE(facts.isInstallFolder);
    EXPECT_TRUE(facts.writable);
    EXPECT_FALSE(facts.imagesPresent);

    // The install folder is the same folder however either path is spelled.
    EXPECT_TRUE(inspectFolder(bin, dir / "link").isInstallFolder);
    EXPECT_TRUE(inspectFolder(dir / "link", bin / ".." / "bin").isInstallFolder);
    EXPECT_FALSE(inspectFolder(dir / "missing", dir / "missing").isInstallFolder);

    writeBytes(bin / "Images", "a file, not a folder");
    EXPECT_FALSE(inspectFolder(bin, dir / "other").imagesPresent);
    fs::remove(bin / "Images");
    fs::create_directory(bin / "Images");
    EXPECT_TRUE(inspectFolder(bin, dir / "other").imagesPresent);

    const ReadOnly readOnly(bin);
    if (!readOnly.done())
        GTEST_SKIP() << "this file system cannot make a folder read-only for root";
    facts = inspectFolder(bin, dir / "other");
    EXPECT_FALSE(facts.writable);
    EXPECT_TRUE(facts.imagesPresent);
}

#endif

} // namespace
} // namespace zx
