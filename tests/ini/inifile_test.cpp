#include "inifile.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace zx {
namespace {

using namespace test;

// group, section, value (or line, key, value)
using Entry = std::tuple<std::string, std::string, std::string>;
const std::string h = "[ZENTROLUX]";

// Loads into a list that is not empty yet: loading must replace it.
std::vector<Entry> load(const std::filesystem::path &path)
{
    INIfile doc;
    doc.iniLines().add("left", "over");
    doc.loadFile(path);
    std::vector<Entry> out;
    for (const INIline &line : doc.iniLines())
        out.push_back({ line.group(), line.section(), line.value() });
    return out;
}

TEST(IniFile, ParseLineSplitsKeyAndValue)
{
    const std::vector<Entry> cases = {
        // line, key, value
        { "\ttop\t=\t5\t", "TOP", "5" },
        { "a = b = c", "A", "b = c" },
        { "Key=", "KEY", "" },
        { "=5", "", "5" },
        { "[abc", "[ABC", "" },
        { "[Abc] ; x", "[ABC] ; X", "" },
        { "  [ ZentroLux ]  ", "[ ZENTROLUX ]", "" },
        { "[a] = b", "[A] = B", "" },
        { "; note = x", "; NOTE", "x" },
        // Upper-casing is ASCII only; other bytes come back as they were.
        { "gr\xF6\xDF = W\xE4rt", "GR\xF6\xDF", "W\xE4rt" },
    };
    for (const auto &[line, wantKey, wantValue] : cases) {
        std::string key = "stale", value = "stale";
        INIfile::parseLine(line, key, value);
        EXPECT_EQ(key, wantKey) << line;
        EXPECT_EQ(value, wantValue) << line;
    }
}

TEST(IniFile, LoadFileBuildsEntriesInFileOrder)
{
    const std::vector<Entry> top5 = { { h, h, "" }, { h, "TOP", "5" } };
    const std::vector<std::tuple<std::string, std::string, std::vector<Entry>>> cases = {
        // name, bytes, entries
        { "mixed", "x=1\r\n; c = d\r\n\r\nnote\r\n[Zentrolux]\r\ntop=5\r\nTop = 6\r\n[other]\r\nk=v\r\n",
            { { "", "X", "1" }, { "", "; C", "d" }, { h, h, "" }, { h, "TOP", "5" }, { h, "TOP", "6" },
                { "[OTHER]", "[OTHER]", "" }, { "[OTHER]", "K", "v" } } },
        { "lf only", "[ZENTROLUX]\nTop=5\n", top5 },
        { "unterminated last line", "[ZENTROLUX]\r\nTop=5", top5 },
        { "byte-order mark", "\xEF\xBB\xBF[zentrolux]\r\nTop=5\r\n", top5 },
        // Longer than one read chunk.
        { "long line", "k=" + std::string(40000, 'v'), { { "", "K", std::string(40000, 'v') } } },
        { "lone and doubled CR", "a\rb=1\r\nk=2\r\r\n", { { "", "A B", "1" }, { "", "K", "2" } } },
        { "dropped lines", "=5\r\n\r\n   \r\nno equals\r\n", {} },
    };
    TempDir dir;
    for (const auto &[name, bytes, expected] : cases) {
        writeBytes(dir / "t.ini", bytes);
        EXPECT_EQ(load(dir / "t.ini"), expected) << name;
    }
    EXPECT_TRUE(load(dir / "missing.ini").empty());
    EXPECT_TRUE(load(dir.path).empty()) << "a folder is not a file";
}

TEST(IniFile, SaveFileWritesAlignedText)
{
    struct Case {
        std::vector<Entry> entries;
        std::string expected;
        bool ucase = false;
        std::int32_t leading = 3, equalPos = 17;
    };
    const std::vector<Case> cases = {
        { { { h, "", "" }, { h, "Top", "1500" }, { h, "Note", "" } },
            "[ZENTROLUX]\r\n   Top          = 1500\r\n   Note         =\r\n" },
        { { { h, "ThirteenChars", "1" } }, "   ThirteenChars= 1\r\n" },
        { { { h, "FourteenCharsX", "1" } }, "   FourteenCharsX= 1\r\n" },
        { { { " [g] ", "", "v" }, { "", "", "v" } }, "[G]\r\n\r\n" },
        { { { "  ", " ", " " } }, "\r\n" },
        { { { h, "T\xE4p", "v\xE4l" } }, "   T\xE4P          = v\xE4l\r\n", true },
        // Out-of-range padding is clamped, not wrapped into a huge allocation.
        { { { h, "Top", "1" } }, "Top= 1\r\n", false, INT32_MIN, INT32_MIN },
        { { { h, "K", "v" } }, std::string(INIfile::maxColumn, ' ') + "K= v\r\n", false, INT32_MAX,
            INT32_MAX },
    };
    TempDir dir;
    for (const Case &c : cases) {
        INIfile doc;
        for (const auto &[group, section, value] : c.entries)
            doc.iniLines().add(group, section, value);
        doc.setUcaseSection(c.ucase);
        doc.setLeadingSpaces(c.leading);
        doc.setEqualPos(c.equalPos);
        ASSERT_TRUE(doc.saveFile(dir / "out.ini")) << c.expected;
        EXPECT_EQ(readBytes(dir / "out.ini"), c.expected);
    }
}

TEST(IniFile, SaveReplacesTheOldFileInOneStep)
{
    namespace fs = std::filesystem;
    TempDir dir;
    INIfile doc;
    doc.iniLines().add("[NEW]");
    const auto target = dir / "z.ini";
    writeBytes(target, "old contents that are longer than the new ones\r\n");
    ASSERT_TRUE(doc.saveFile(target));
    EXPECT_EQ(readBytes(target), "[NEW]\r\n");

    // A failed save keeps the old file byte for byte: no file can be made under a file.
    EXPECT_FALSE(doc.saveFile(target / "z.ini"));
    EXPECT_EQ(readBytes(target), "[NEW]\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 1) << "temporary file left behind";
}

TEST(IniFile, SavesAndLoadsInAFolderNamedOutsideAscii)
{
    // A user's folder may be named in any script; the file functions must take it as it is.
    TempDir dir;
    const fs::path folder = dir.path / fs::path(u8"J\u00fcrgen \u661f");
    fs::create_directory(folder);
    INIfile doc;
    doc.iniLines().add(h);
    doc.iniLines().add(h, "Top", "1");
    ASSERT_TRUE(doc.saveFile(folder / "Zentrolux.ini"));
    EXPECT_EQ(load(folder / "Zentrolux.ini"), (std::vector<Entry> { { h, h, "" }, { h, "TOP", "1" } }));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1) << "temporary file left behind";
}

TEST(IniLines, PositionsAreOneBased)
{
    INIlines lines;
    for (const char *key : { "A", "B", "C" })
        lines.add("[G]", key);
    lines.remove(2);
    ASSERT_EQ(lines.count(), 2);
    EXPECT_EQ(lines.item(2).section(), "C");
    EXPECT_THROW((void)lines.item(0), std::out_of_range);
    EXPECT_THROW((void)lines.item(3), std::out_of_range);
}

} // namespace
} // namespace zx
