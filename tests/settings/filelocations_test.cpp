#include "filelocations.h"
#include "pathtext.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace zx {
namespace {

using namespace test;

const fs::path writerFromBin = "../lib/x86_64-linux-gnu/zentrolux";

// An absolute path on this system, written as on POSIX systems: on Windows it
// gains the drive of the temporary folder, without which it would be relative.
fs::path at(std::string_view posixPath)
{
    static const fs::path root = fs::temp_directory_path().root_path();
    return root / posixPath.substr(1);
}

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
    const UserFolders ann { at("/home/ann/cfg"), at("/home/ann"), at("/home/ann/Bilder") };
    const UserFolders plain { "", at("/home/bob"), "" };
    const Case cases[] = {
        { "build or copied folder", "Zentrolux", { at("/home/ann/zx"), false, true, true }, ann, false,
            at("/home/ann/zx/Zentrolux.ini"), at("/home/ann/zx/Images") },
        { "Images removed by hand: still portable, and not made", "Zentrolux",
            { at("/home/ann/zx"), false, true, false }, ann, false, at("/home/ann/zx/Zentrolux.ini"),
            at("/home/ann/zx/Images") },
        { "read-only folder holding Images", "Zentrolux", { at("/media/cd"), false, false, true }, ann, false,
            at("/media/cd/Zentrolux.ini"), at("/media/cd/Images") },
        { "renamed portable copy", "Guide", { at("/home/ann/zx"), false, true, true }, ann, false,
            at("/home/ann/zx/Guide.ini"), at("/home/ann/zx/Images") },
        { "unwritable without Images", "Zentrolux", { at("/opt/zx/bin"), false, false, false }, ann, true,
            at("/home/ann/cfg/Zentrolux/Zentrolux.ini"), at("/home/ann/Bilder/Zentrolux") },
        { "install folder, XDG_CONFIG_HOME unset, no pictures folder named", "Zentrolux",
            { at("/usr/bin"), true, false, false }, plain, true,
            at("/home/bob/.config/Zentrolux/Zentrolux.ini"), at("/home/bob/Pictures/Zentrolux") },
        { "install folder that root may write", "Zentrolux", { at("/usr/bin"), true, true, false },
            { "", at("/root"), at("/root/Pictures") }, true, at("/root/.config/Zentrolux/Zentrolux.ini"),
            at("/root/Pictures/Zentrolux") },
        { "install folder holding Images", "Zentrolux", { at("/usr/bin"), true, true, true }, plain, true,
            at("/home/bob/.config/Zentrolux/Zentrolux.ini"), at("/home/bob/Pictures/Zentrolux") },
        { "relative XDG_CONFIG_HOME is ignored", "Zentrolux", { at("/usr/bin"), true, false, false },
            { "cfg", at("/home/bob"), "" }, true, at("/home/bob/.config/Zentrolux/Zentrolux.ini"),
            at("/home/bob/Pictures/Zentrolux") },
        { "renamed installed copy", "Guide", { at("/usr/bin"), true, false, false }, ann, true,
            at("/home/ann/cfg/Guide/Guide.ini"), at("/home/ann/Bilder/Guide") },
        // Names are UTF-8, whatever 8-bit code page the system has.
        { "a name and user folders outside ASCII", "Leitstern Ωμέγα 星", { at("/usr/bin"), true, false, false },
            { at("/home") / pathFromUtf8("Jürgen Ω/cfg"), at("/home") / pathFromUtf8("Jürgen Ω"), {} }, true,
            at("/home") / pathFromUtf8("Jürgen Ω/cfg/Leitstern Ωμέγα 星/Leitstern Ωμέγα 星.ini"),
            at("/home") / pathFromUtf8("Jürgen Ω/Pictures/Leitstern Ωμέγα 星") },
        { "a portable copy so named", "Leitstern Ωμέγα 星", { at("/home/ann/zx"), false, true, true }, ann, false,
            at("/home/ann/zx") / pathFromUtf8("Leitstern Ωμέγα 星.ini"), at("/home/ann/zx/Images") },
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
    const UserFolders user { {}, at("/home/ann"), {} };
    const std::pair<FolderFacts, std::vector<fs::path>> cases[] = {
        { { at("/usr/bin"), true, false, false },
            { at("/usr/bin"), at("/usr/lib/x86_64-linux-gnu/zentrolux") } },
        // An install moved elsewhere keeps its layout.
        { { at("/opt/zx/bin"), false, false, false },
            { at("/opt/zx/bin"), at("/opt/zx/lib/x86_64-linux-gnu/zentrolux") } },
        { { at("/home/ann/zx"), false, true, true },
            { at("/home/ann/zx"), at("/home/ann/lib/x86_64-linux-gnu/zentrolux") } },
    };
    for (const auto &[facts, folders] : cases)
        EXPECT_EQ(fileLocations("Zentrolux", facts, user, writerFromBin).writerFolders, folders)
            << facts.folder;
}

TEST(FileLocations, FactsReadFromTheFolder)
{
    TempDir dir;
    const fs::path bin = dir / "bin";
    fs::create_directories(bin);

    FolderFacts facts = inspectFolder(bin / ".." / "bin", dir / "other");
    EXPECT_EQ(facts.folder, fs::canonical(bin));
    EXPECT_FALSE(facts.isInstallFolder);
    EXPECT_TRUE(facts.writable);
    EXPECT_FALSE(facts.imagesPresent);
    EXPECT_TRUE(fs::is_empty(bin)) << "finding out left something behind";

    // The install folder is the same folder however either path is spelled.
    EXPECT_TRUE(inspectFolder(bin, dir / "." / "bin").isInstallFolder);
    EXPECT_TRUE(inspectFolder(dir / "bin" / ".", bin / ".." / "bin").isInstallFolder);
    facts = inspectFolder(dir / "missing", dir / "missing");
    EXPECT_FALSE(facts.isInstallFolder);
    EXPECT_FALSE(facts.writable);

    writeBytes(bin / "Images", "a file, not a folder");
    EXPECT_FALSE(inspectFolder(bin, dir / "other").imagesPresent);
    fs::remove(bin / "Images");
    fs::create_directory(bin / "Images");
    EXPECT_TRUE(inspectFolder(bin, dir / "other").imagesPresent);
}

} // namespace
} // namespace zx
