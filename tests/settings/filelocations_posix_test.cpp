#include "filelocations.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

// The program's folder reached through a symbolic link, and made read-only
// through permission bits or (for root, on Linux) the immutable flag.
namespace zx {
namespace {

using namespace test;

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

TEST(FileLocations, LinkedAndReadOnlyFolders)
{
    TempDir dir;
    const fs::path bin = dir / "bin";
    fs::create_directories(bin / "Images");
    fs::create_directory_symlink(bin, dir / "link");

    // A link to the folder is the folder.
    FolderFacts facts = inspectFolder(dir / "link", dir / "other");
    EXPECT_EQ(facts.folder, fs::canonical(bin));
    EXPECT_TRUE(facts.writable);
    EXPECT_TRUE(inspectFolder(bin, dir / "link").isInstallFolder);
    EXPECT_TRUE(inspectFolder(dir / "link", bin / ".." / "bin").isInstallFolder);

    const ReadOnly readOnly(bin);
    if (!readOnly.done())
        GTEST_SKIP() << "this file system cannot make a folder read-only for root";
    facts = inspectFolder(bin, dir / "other");
    EXPECT_FALSE(facts.writable);
    EXPECT_TRUE(facts.imagesPresent);
}

} // namespace
} // namespace zx
