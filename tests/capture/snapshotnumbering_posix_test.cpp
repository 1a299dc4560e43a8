#include "foldertest.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

// The numbering with what only POSIX file systems have: symbolic links, named
// pipes, permission bits that stop a listing, and (on Linux) inotify's bounded queue.
namespace {

using namespace zx::test;

constexpr bool HaveWatch = ZX_HAVE_FOLDER_WATCH;

// A link counts when it leads to an ordinary file; the scan says it saw one.
TEST_F(ImagesFolder, LinksCountWhenTheyLeadToAFile)
{
    touch({ "CAP0003.jpg", "target" });
    EXPECT_FALSE(zx::scanSnapshotFolder(m_dir).linked);
    fs::create_symlink(m_dir / "gone", m_dir / "CAP0950.jpg");
    fs::create_directory(m_dir / "sub");
    fs::create_directory_symlink(m_dir / "sub", m_dir / "CAP0960.jpg");
    EXPECT_EQ(zx::nextSnapshotNumber(m_dir), 4);
    EXPECT_TRUE(zx::scanSnapshotFolder(m_dir).linked);
    fs::create_symlink(m_dir / "target", m_dir / "CAP0900.jpg");
    EXPECT_EQ(zx::nextSnapshotNumber(m_dir), 901);
}

TEST_F(Numbering, EntriesThatAreNoOrdinaryFiles)
{
    const fs::path outside = m_root / "outside";
    fs::create_directory(outside);
    run({
        { "a snapshot", [&] { touch("CAP0003.jpg"); }, 4 },
        { "a pipe by that name", [&] { ::mkfifo((m_dir / "CAP0700.jpg").c_str(), 0600); }, 4 },
        { "a link to a file",
            [&] {
                std::ofstream(outside / "target") << "x";
                fs::create_symlink(outside / "target", m_dir / "CAP0300.jpg");
            },
            301 },
        { "its target deleted", [&] { fs::remove(outside / "target"); }, 4 },
        { "its target back", [&] { std::ofstream(outside / "target") << "x"; }, 301 },
    });
}

TEST_F(Numbering, AFolderThatCannotBeListed)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not hold for root";
    touch("CAP0007.jpg");
    EXPECT_EQ(m_numbering.next(m_dir), 8);
    fs::permissions(m_dir, fs::perms::owner_read, fs::perm_options::remove);
    expectSame("read permission taken away"); // nothing listed: 1
    fs::permissions(m_dir, fs::perms::owner_read, fs::perm_options::add);
    ::utimensat(AT_FDCWD, (m_dir / "CAP0007.jpg").c_str(), nullptr, 0); // a file's times: no effect
    expectSame("read permission back");
}

TEST_F(Numbering, MoreChangesThanTheWatchCanHold)
{
    long limit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (!HaveWatch || limit <= 0 || limit > 100000)
        GTEST_SKIP() << "no bounded event queue to overflow here";
    EXPECT_EQ(m_numbering.next(m_dir), 1);
    // Events past the limit are dropped; the snapshot named last is one of them.
    touch("a.txt");
    for (long i = 0; i < limit / 2 + 1; ++i) // two events a rename
        fs::rename(m_dir / (i % 2 ? "b.txt" : "a.txt"), m_dir / (i % 2 ? "a.txt" : "b.txt"));
    touch("CAP0500.jpg");
    EXPECT_EQ(m_numbering.next(m_dir), 501);
}

} // namespace
