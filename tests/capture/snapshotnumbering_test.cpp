#include "foldertest.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace zx::test;

// Whether this platform's build follows folder changes instead of listing.
constexpr bool HaveWatch = ZX_HAVE_FOLDER_WATCH;

TEST_F(Numbering, HiddenAndSystemFilesAreNeitherNumberedOverNorCleared)
{
    touch("CAP0001.jpg");
    touch("CAP0050.jpg");
    touch("CAP0060.JPG");
    if (!markFile(m_dir / "CAP0050.jpg", false) || !markFile(m_dir / "CAP0060.JPG", true))
        GTEST_SKIP() << "this system marks no file hidden but by its name";
    EXPECT_EQ(m_numbering.next(m_dir), 2);
    const auto listed = zx::listFiles(m_dir, zx::isJpegName);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed.front().filename(), "CAP0001.jpg");
}

TEST_F(Numbering, HandChangesBetweenSnapshotsCountAsInAListing)
{
    const fs::path outside = m_root / "outside";
    fs::create_directory(outside);
    run({
        { "nothing yet", [] {}, 1 },
        { "own snapshot", [&] { writeOwn(1); }, 2 },
        { "a hand-added CAP0500.jpg", [&] { touch("CAP0500.jpg"); }, 501 },
        { "own snapshot after it", [&] { writeOwn(501); }, 502 },
        { "the highest deleted", [&] { fs::remove(m_dir / "CAP0501.jpg"); }, 501 },
        { "a lower one deleted", [&] { fs::remove(m_dir / "CAP0001.jpg"); }, 501 },
        { "renamed upwards", [&] { fs::rename(m_dir / "CAP0500.jpg", m_dir / "CAP0600.jpg"); }, 601 },
        { "renamed to another name", [&] { fs::rename(m_dir / "CAP0600.jpg", m_dir / "notes.jpg"); }, 1 },
        { "renamed back, other case", [&] { fs::rename(m_dir / "notes.jpg", m_dir / "cap0042.JPG"); }, 43 },
        { "hidden by a rename", [&] { fs::rename(m_dir / "cap0042.JPG", m_dir / ".CAP0042.jpg"); }, 1 },
        { "a hidden file and a folder",
            [&] {
                touch(".CAP0900.jpg");
                fs::create_directory(m_dir / "CAP9999.jpg");
            },
            1 },
        { "moved in from elsewhere",
            [&] {
                std::ofstream(outside / "CAP0077.jpg") << "x";
                fs::rename(outside / "CAP0077.jpg", m_dir / "CAP0077.jpg");
            },
            78 },
        { "added and removed again",
            [&] {
                touch("CAP0800.jpg");
                fs::remove(m_dir / "CAP0800.jpg");
            },
            78 },
        { "moved out", [&] { fs::rename(m_dir / "CAP0077.jpg", outside / "CAP0077.jpg"); }, 1 },
        { "own snapshots by each method",
            [&] {
                writeOwn(1, zx::fileio::PublishMethod::LinkThenUnlink);
                writeOwn(2, zx::fileio::PublishMethod::ReserveThenRename);
            },
            3 },
        { "the folder deleted and made anew",
            [&] {
                fs::remove_all(m_dir);
                fs::create_directory(m_dir);
                touch("CAP0010.jpg");
            },
            11 },
        { "a file in the new folder", [&] { touch("CAP0020.jpg"); }, 21 },
        { "the folder moved away, another put in its place",
            [&] {
                fs::rename(m_dir, m_root / "old");
                fs::create_directory(m_dir);
                touch("CAP0005.jpg");
            },
            6 },
        { "the old folder changes", [&] { std::ofstream(m_root / "old" / "CAP0999.jpg") << "x"; }, 6 },
        { "the folder's parent moved away, another put in its place",
            [&] {
                fs::rename(m_dir.parent_path(), m_root / "old program");
                fs::create_directories(m_dir);
                touch("CAP0002.jpg");
            },
            3 },
        { "the old place changes",
            [&] { std::ofstream(m_root / "old program" / "Images" / "CAP0999.jpg") << "x"; }, 3 },
        { "the folder gone", [&] { fs::remove_all(m_dir); }, 1 },
        { "the folder back",
            [&] {
                fs::create_directory(m_dir);
                touch("CAP0003.jpg");
            },
            4 },
    });
}

TEST_F(Numbering, ListsTheFolderOnlyWhenTheHighestMayHaveGone)
{
    for (int i = 1; i <= 300; ++i)
        touch(zx::snapshotFileName(i));
    EXPECT_EQ(m_numbering.next(m_dir), 301);
    for (int i = 301; i <= 320; ++i) {
        writeOwn(i);
        touch("CAP" + std::to_string(i) + " copy.jpg"); // reads as the same number
        fs::remove(m_dir / zx::snapshotFileName(i - 300));
        EXPECT_EQ(m_numbering.next(m_dir), i + 1);
    }
    fs::remove(m_dir / "CAP0320.jpg");
    EXPECT_EQ(m_numbering.next(m_dir), 321); // "CAP320 copy.jpg" still holds it
    // With a watch: the first number, and the deleted highest. Without one every number lists the folder.
    EXPECT_EQ(m_numbering.fullScans(), HaveWatch ? 2u : 22u);
}

TEST_F(Numbering, RandomChangesAgreeWithAListing)
{
    const unsigned seed = std::random_device {}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const auto someName = [&] {
        const int n = 1 + pick(40);
        switch (pick(6)) {
        case 0:
            return "cap" + std::to_string(n) + ".JPG";
        case 1:
            return ".CAP" + std::to_string(n) + ".jpg";
        case 2:
            return "other" + std::to_string(n) + ".jpg";
        default:
            return zx::snapshotFileName(n);
        }
    };
    const auto someEntry = [&]() -> fs::path {
        std::vector<fs::path> entries;
        for (const auto &entry : fs::directory_iterator(m_dir))
            entries.push_back(entry.path());
        return entries.empty() ? fs::path() : entries[static_cast<std::size_t>(pick(int(entries.size())))];
    };
    for (int step = 0; step < 1000 && !HasFailure(); ++step) {
        for (int change = pick(3); change >= 0; --change) {
            const fs::path entry = someEntry();
            std::error_code ec;
            switch (pick(10)) {
            case 0:
            case 1:
                touch(someName());
                break;
            case 2:
            case 3:
                fs::remove_all(entry, ec);
                break;
            case 4:
                fs::rename(entry, m_dir / someName(), ec);
                break;
            case 5:
                fs::create_directory(m_dir / someName(), ec);
                break;
            case 6:
                if (pick(20) == 0) {
                    fs::remove_all(m_dir);
                    fs::create_directory(m_dir);
                }
                break;
            default: // a folder may hold the next name: the program then tries the one after it
                for (auto n = zx::nextSnapshotNumber(m_dir).value_or(1);
                     publish(n) == zx::fileio::PublishResult::Exists; ++n) { }
                break;
            }
        }
        expectSame("step " + std::to_string(step));
    }
}

} // namespace
