#include "bmpfile.h"
#include "testpicture.h"

#include <zentrolux/jpegwriter.h>
#include <zentrolux/tempbitmap.h>

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace zx {
namespace {

namespace fs = std::filesystem;
using test::Picture;

// Points XDG_RUNTIME_DIR somewhere of the test's own for as long as it lives.
class RuntimeDirOverride {
public:
    explicit RuntimeDirOverride(const std::string &value)
    {
        if (const char *previous = std::getenv("XDG_RUNTIME_DIR"))
            m_previous = previous;
        ::setenv("XDG_RUNTIME_DIR", value.c_str(), 1);
    }
    ~RuntimeDirOverride()
    {
        if (m_previous)
            ::setenv("XDG_RUNTIME_DIR", m_previous->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }
    RuntimeDirOverride(const RuntimeDirOverride &) = delete;
    RuntimeDirOverride &operator=(const RuntimeDirOverride &) = delete;

private:
    std::optional<std::string> m_previous;
};

fs::path makeScratchFolder()
{
    std::string pattern = (fs::temp_directory_path() / "zx-jpegwriter-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    return pattern; // mkdtemp makes it 0700: fit to serve as a runtime folder
}

std::vector<std::string> entries(const fs::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

class WriterTest : public ::testing::Test {
protected:
    WriterTest()
        : m_root(makeScratchFolder())
        , m_runtime(m_root.string())
        , m_images(m_root / "Images")
    {
        fs::create_directory(m_images);
    }
    ~WriterTest() override
    {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    static fs::path bitmapPath()
    {
        const auto path = tempBitmapPath();
        if (!path)
            throw std::runtime_error("no temporary bitmap path");
        return *path;
    }

    static JpgResult write(const fs::path &target, int quality)
    {
        return static_cast<JpgResult>(DIWriteJpg(target.c_str(), quality, 0));
    }

    fs::path m_root;
    RuntimeDirOverride m_runtime;
    fs::path m_images;
};

// A bitmap file in the layouts other writers use.
std::string bmpBytes(const Picture &picture, int bitsPerPixel, bool topDown, bool masks)
{
    const std::size_t pitch = (static_cast<std::size_t>(picture.width) * bitsPerPixel / 8 + 3) / 4 * 4;
    const std::size_t offset = 54 + (masks ? 12 : 0);
    std::string file(offset + pitch * static_cast<std::size_t>(picture.height), '\0');
    const auto put = [&file](std::size_t at, std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            file[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put(2, static_cast<std::uint32_t>(file.size()), 4);
    put(10, static_cast<std::uint32_t>(offset), 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(picture.width), 4);
    put(22, static_cast<std::uint32_t>(topDown ? -picture.height : picture.height), 4);
    put(26, 1, 2);
    put(28, static_cast<std::uint32_t>(bitsPerPixel), 2);
    put(30, masks ? 3 : 0, 4);
    if (masks) {
        put(54, 0x00ff0000, 4);
        put(58, 0x0000ff00, 4);
        put(62, 0x000000ff, 4);
    }
    for (int y = 0; y < picture.height; ++y) {
        const int stored = topDown ? y : picture.height - 1 - y;
        std::size_t at = offset + pitch * static_cast<std::size_t>(stored);
        for (int x = 0; x < picture.width; ++x) {
            // The fourth byte is noise on purpose: it must be ignored.
            put(at, (picture.at(x, y) & 0xffffff) | 0x5a000000u, bitsPerPixel / 8);
            at += static_cast<std::size_t>(bitsPerPixel / 8);
        }
    }
    return file;
}

TEST_F(WriterTest, SnapshotDecodesBackToThePicture)
{
    // An odd width exercises the row padding of the bitmap.
    const Picture picture = test::testPicture(475, 314);
    ASSERT_TRUE(writeBmp24(bitmapPath(), picture.width, picture.height, picture.bytes(),
        static_cast<std::size_t>(picture.width) * 4));

    struct Case {
        int quality;
        double maxError;
    };
    std::uintmax_t previousSize = 0;
    for (const Case &c : { Case { 10, 8.0 }, Case { 100, 1.5 } }) {
        SCOPED_TRACE(c.quality);
        const fs::path target = m_images / ("CAP" + std::to_string(c.quality) + ".jpg");
        ASSERT_EQ(write(target, c.quality), JpgResult::Written);
        const auto decoded = test::decodeJpeg(target);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->width, picture.width);
        EXPECT_EQ(decoded->height, picture.height);
        EXPECT_LT(test::meanAbsError(picture, *decoded), c.maxError);
        EXPECT_GT(fs::file_size(target), previousSize);
        previousSize = fs::file_size(target);
    }
    EXPECT_EQ(entries(m_images).size(), 2u);
    // Removing the bitmap is the caller's job.
    EXPECT_TRUE(fs::exists(bitmapPath()));
}

TEST_F(WriterTest, ReadsOtherBitmapLayouts)
{
    const Picture picture = test::testPicture(131, 77);
    struct Case {
        const char *name;
        int bitsPerPixel;
        bool topDown;
        bool masks;
    };
    const Case cases[] = {
        { "24-bit top-down", 24, true, false },
        { "32-bit bottom-up", 32, false, false },
        { "32-bit top-down", 32, true, false },
        { "32-bit with bit masks", 32, false, true },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        test::writeFile(bitmapPath(), bmpBytes(picture, c.bitsPerPixel, c.topDown, c.masks));
        const fs::path target = m_images / (std::string(c.name) + ".jpg");
        ASSERT_EQ(write(target, 100), JpgResult::Written);
        const auto decoded = test::decodeJpeg(target);
        ASSERT_TRUE(decoded);
        EXPECT_LT(test::meanAbsError(picture, *decoded), 1.5);
    }
}

TEST_F(WriterTest, RefusesBrokenBitmapsWithoutLeavingAFile)
{
    const Picture picture = test::testPicture(33, 17);
    const std::string valid = bmpBytes(picture, 24, false, false);
    const std::size_t pitch = 100; // 33 pixels * 3 bytes, padded to 4
    using Edit = std::function<void(std::string &)>;
    const auto put32 = [](std::size_t at, std::uint32_t value) {
        return [at, value](std::string &file) {
            for (std::size_t i = 0; i < 4; ++i)
                file[at + i] = static_cast<char>(value >> (8 * i));
        };
    };
    struct Case {
        const char *name;
        Edit edit;
    };
    const Case cases[] = {
        { "empty", [](std::string &file) { file.clear(); } },
        { "wrong magic", [](std::string &file) { file[0] = 'P'; } },
        { "headers only", [](std::string &file) { file.resize(54); } },
        { "last row cut off", [pitch](std::string &file) { file.resize(file.size() - pitch); } },
        { "width zero", put32(18, 0) },
        { "width negative", put32(18, static_cast<std::uint32_t>(-33)) },
        { "width absurd", put32(18, 0x7fffffff) },
        { "height zero", put32(22, 0) },
        { "height most negative", put32(22, 0x80000000u) },
        { "more rows than data", put32(22, 18) },
        { "pixels past the end", put32(10, static_cast<std::uint32_t>(valid.size()) + 1) },
        { "pixels inside the headers", put32(10, 20) },
        { "header size absurd", put32(14, 0xffffffffu) },
        { "8 bits per pixel", [](std::string &file) { file[28] = 8; } },
        { "run-length compressed", put32(30, 1) },
        { "bit masks in another order",
            [&picture](std::string &file) {
                file = bmpBytes(picture, 32, false, true);
                file[54] = static_cast<char>(0xff);
                file[56] = 0;
            } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = valid;
        c.edit(file);
        test::writeFile(bitmapPath(), file);
        EXPECT_EQ(write(m_images / "CAP0001.jpg", 50), JpgResult::BadBitmap);
        EXPECT_TRUE(entries(m_images).empty());
    }

    // A link in place of the bitmap is not followed, even to a good bitmap.
    const fs::path elsewhere = m_root / "elsewhere.bmp";
    test::writeFile(elsewhere, valid);
    fs::remove(bitmapPath());
    EXPECT_EQ(write(m_images / "CAP0001.jpg", 50), JpgResult::BadBitmap);
    fs::create_symlink(elsewhere, bitmapPath());
    EXPECT_EQ(write(m_images / "CAP0001.jpg", 50), JpgResult::BadBitmap);
    EXPECT_TRUE(entries(m_images).empty());
}

TEST_F(WriterTest, RefusesBadQualityAndUnwritableTargets)
{
    const Picture picture = test::testPicture(40, 30);
    ASSERT_TRUE(writeBmp24(bitmapPath(), picture.width, picture.height, picture.bytes(),
        static_cast<std::size_t>(picture.width) * 4));

    for (const int quality : { 0, 101, -1, INT_MIN, INT_MAX }) {
        SCOPED_TRACE(quality);
        EXPECT_EQ(write(m_images / "CAP0001.jpg", quality), JpgResult::BadQuality);
    }
    EXPECT_TRUE(entries(m_images).empty());

    // Permission bits do not stop root, so "cannot be written" is a parent that is a file.
    const fs::path notAFolder = m_root / "file";
    test::writeFile(notAFolder, "keep");
    EXPECT_EQ(write(m_root / "Missing" / "CAP0001.jpg", 50), JpgResult::CannotWrite);
    EXPECT_EQ(write(notAFolder / "CAP0001.jpg", 50), JpgResult::CannotWrite);
    EXPECT_EQ(DIWriteJpg(nullptr, 50, 0), static_cast<int>(JpgResult::CannotWrite));
    EXPECT_EQ(DIWriteJpg("", 50, 0), static_cast<int>(JpgResult::CannotWrite));
    EXPECT_FALSE(fs::exists(m_root / "Missing"));
    EXPECT_EQ(test::readFile(notAFolder), "keep");
    EXPECT_TRUE(entries(m_images).empty());
}

TEST_F(WriterTest, NeverReplacesAnExistingName)
{
    const Picture picture = test::testPicture(40, 30);
    ASSERT_TRUE(writeBmp24(bitmapPath(), picture.width, picture.height, picture.bytes(),
        static_cast<std::size_t>(picture.width) * 4));
    const fs::path existing = m_images / "CAP0001.jpg";
    test::writeFile(existing, "an earlier snapshot");
    const fs::path danglingLink = m_images / "CAP0002.jpg";
    fs::create_symlink(m_root / "nowhere.jpg", danglingLink);

    EXPECT_EQ(write(existing, 80), JpgResult::TargetExists);
    EXPECT_EQ(write(danglingLink, 80), JpgResult::TargetExists);
    EXPECT_EQ(test::readFile(existing), "an earlier snapshot");
    EXPECT_TRUE(fs::is_symlink(danglingLink));
    EXPECT_FALSE(fs::exists(m_root / "nowhere.jpg"));
    EXPECT_EQ(entries(m_images).size(), 2u);
    EXPECT_EQ(write(m_images / "CAP0003.jpg", 80), JpgResult::Written);
}

TEST(TempBitmapPath, UsesOnlyAPrivateFolder)
{
    const fs::path root = makeScratchFolder();
    const std::string pidName = "snapshot-" + std::to_string(::getpid()) + ".bmp";
    struct Case {
        const char *name;
        std::function<void(const fs::path &folder)> prepare;
        bool accepted;
    };
    const Case cases[] = {
        { "made when missing", [](const fs::path &) {}, true },
        { "already there",
            [](const fs::path &folder) {
                fs::create_directory(folder);
                ::chmod(folder.c_str(), 0700);
            },
            true },
        { "a link to a private folder",
            [&root](const fs::path &folder) {
                fs::create_directory(root / "target");
                fs::create_directory_symlink(root / "target", folder);
            },
            false },
        { "open to the group",
            [](const fs::path &folder) {
                fs::create_directory(folder);
                ::chmod(folder.c_str(), 0750);
            },
            false },
        { "searchable by others",
            [](const fs::path &folder) {
                fs::create_directory(folder);
                ::chmod(folder.c_str(), 0701);
            },
            false },
        { "a file", [](const fs::path &folder) { test::writeFile(folder, ""); }, false },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path runtime = root / c.name;
        fs::create_directory(runtime);
        const fs::path folder = runtime / "zentrolux";
        c.prepare(folder);
        RuntimeDirOverride override(runtime.string());
        const auto path = tempBitmapPath();
        ASSERT_EQ(path.has_value(), c.accepted);
        if (path) {
            EXPECT_EQ(*path, (folder / pidName).string());
            struct stat info { };
            ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0700u);
        }
    }

    // A runtime folder that is not an absolute path is not trusted.
    {
        RuntimeDirOverride override("relative/folder");
        const auto path = tempBitmapPath();
        ASSERT_TRUE(path);
        EXPECT_EQ(*path, "/tmp/zentrolux-" + std::to_string(::geteuid()) + "/" + pidName);
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

TEST(BmpFile, WritesBottomUpBgrRowsWithPadding)
{
    const fs::path root = makeScratchFolder();
    const fs::path path = root / "tiny.bmp";
    // 2 x 2 pixels with a stride wider than the row, as a grab can have.
    const std::uint32_t pixels[] = { 0xff112233u, 0xff445566u, 0xdeadbeefu, 0xff778899u, 0xffaabbccu, 0u };
    ASSERT_TRUE(writeBmp24(path.string(), 2, 2, reinterpret_cast<const std::uint8_t *>(pixels), 12));

    std::string expected = "BM";
    expected += std::string("\x46\0\0\0\0\0\0\0\x36\0\0\0", 12); // size 70, pixels at 54
    expected
        += std::string("\x28\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\x18\0", 16); // 40-byte header, 2 x 2, 24 bits
    expected += std::string("\0\0\0\0\x10\0\0\0", 8); // no compression, 16 pixel bytes
    expected += std::string(16, '\0');
    expected += std::string("\x99\x88\x77\xcc\xbb\xaa\0\0", 8); // bottom row first, blue green red
    expected += std::string("\x33\x22\x11\x66\x55\x44\0\0", 8);
    EXPECT_EQ(test::readFile(path), expected);
    struct stat info { };
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Arguments that make no bitmap, and a link in place of the file.
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(pixels);
    EXPECT_FALSE(writeBmp24((root / "a.bmp").string(), 0, 2, bytes, 12));
    EXPECT_FALSE(writeBmp24((root / "a.bmp").string(), 2, -1, bytes, 12));
    EXPECT_FALSE(writeBmp24((root / "a.bmp").string(), 3, 2, bytes, 11));
    EXPECT_FALSE(writeBmp24((root / "a.bmp").string(), 2, 2, nullptr, 12));
    EXPECT_FALSE(writeBmp24((root / "a.bmp").string(), 65536, 65536, bytes, 65536 * 4));
    EXPECT_FALSE(fs::exists(root / "a.bmp"));
    fs::create_symlink(path, root / "link.bmp");
    EXPECT_FALSE(writeBmp24((root / "link.bmp").string(), 2, 2, bytes, 12));
    EXPECT_EQ(test::readFile(path), expected);

    std::error_code ignored;
    fs::remove_all(root, ignored);
}

} // namespace
} // namespace zx
