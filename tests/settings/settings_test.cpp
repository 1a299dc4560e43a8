#include "settings.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

namespace zx {
namespace {

using namespace test;

// Start-up's window bounds, and leftovers in the fields the defaults replace.
const Settings callerState { 11, 22, 33, 44, 7, 7, 7, false, true, false, true, LineColour::Green, true };
const Settings defaultsWithCallerBounds { 11, 22, 33, 44 };

auto fields(const Settings &s)
{
    return std::tuple(s.formTop, s.formLeft, s.formWidth, s.formHeight, s.quality, s.pixels, s.interval,
        s.crossHair, s.captureClient, s.soundOn, s.night, s.lineColour, s.starOffset);
}

TEST(Settings, ReadAppliesTheZentroluxKeys)
{
    const std::string h = "[ZENTROLUX]\r\n";
    const std::pair<std::string, void (*)(Settings &)> cases[] = {
        { h + "CrossHair = 0\r\nCrossHair = 2\r\n", [](Settings &) {} },
        { h + "CrossHair = 0\r\nCrossHair = -1\r\n", [](Settings &) {} },
        { h + "CrossHair = 0.0\r\n", [](Settings &s) { s.crossHair = false; } },
        { h + "CrossHair = abc\r\n", [](Settings &s) { s.crossHair = false; } },
        // Switches compare the unrounded number: 0.4 is on.
        { h + "Sound = off\r\nSound = 0.4\r\n", [](Settings &) {} },
        { h + "Capture = 0.4\r\n", [](Settings &s) { s.captureClient = true; } },
        // A gap outside the keys' range is brought into it: 0.4 rounds to 0, then acts as 1.
        { h + "Pixels = 0.4\r\n", [](Settings &s) { s.pixels = 1; } },
        { h + "Pixels = -5\r\n", [](Settings &s) { s.pixels = 1; } },
        { h + "Pixels = 1000\r\n", [](Settings &s) { s.pixels = 50; } },
        { h + "Pixels = 50\r\n", [](Settings &s) { s.pixels = 50; } },
        { h + "Pixels = 2.5\r\n", [](Settings &s) { s.pixels = 2; } },
        { h + "Pixels = 3.5\r\n", [](Settings &s) { s.pixels = 4; } },
        { h + "Quality = 55\r\n", [](Settings &s) { s.quality = 55; } },
        { h + "Interval = 0\r\n", [](Settings &s) { s.interval = 0; } },
        { "[zentrolux]\r\ntop=120\r\n", [](Settings &s) { s.formTop = 120; } },
        { h + "Top = 1e20\r\n", [](Settings &s) { s.formTop = INT32_MAX; } },
        { h + "Width = abc\r\n", [](Settings &s) { s.formWidth = 0; } },
        // Nothing outside the exact header counts.
        { "Top = 1\r\n[ ZENTROLUX ]\r\nTop = 2\r\n[ZENTROLUX] ; main\r\nTop = 3\r\n[OTHER]\r\nTop = 4\r\n",
            [](Settings &) {} },
        { h + "T op = 1\r\nTopX = 2\r\n[OTHER]\r\n" + h + "Left = 6\r\n",
            [](Settings &s) { s.formLeft = 6; } },
        // The telescope's keys, in their own section only; a colour by name, any case.
        { "[TELESCOPE]\r\nNight = 1\r\nLineColour =  Cyan \r\nStarOffset = 0.4\r\n",
            [](Settings &s) {
                s.night = true;
                s.lineColour = LineColour::Cyan;
                s.starOffset = true;
            } },
        { "[telescope]\r\nlinecolour=yellow\r\nLineColour = white\r\n",
            [](Settings &s) { s.lineColour = LineColour::White; } },
        { "[TELESCOPE]\r\nLineColour = green\r\nLineColour = purple\r\n", [](Settings &) {} },
        { "[TELESCOPE]\r\nLineColour = 2\r\nNight = yes\r\n", [](Settings &) {} },
        { h + "Night = 1\r\nLineColour = green\r\n[TELESCOPE]\r\nTop = 5\r\n", [](Settings &) {} },
    };
    TempDir dir;
    for (const auto &[text, change] : cases) {
        writeBytes(dir / "z.ini", text);
        Settings got = callerState;
        readSettings(dir / "z.ini", got);
        Settings want = defaultsWithCallerBounds;
        change(want);
        EXPECT_EQ(fields(got), fields(want)) << text;
    }
    Settings got = callerState;
    readSettings(dir / "missing.ini", got);
    EXPECT_EQ(fields(got), fields(defaultsWithCallerBounds)) << "missing file";
}

TEST(Settings, WriteProducesTheElevenLines)
{
    TempDir dir;
    const auto path = dir / "Zentrolux.ini";
    writeBytes(path, "; kept?\r\n[OTHER]\r\nA=1\r\n[ZENTROLUX]\r\nExtra = 1\r\n");
    ASSERT_TRUE(writeSettings(path, Settings { 1500, 3000, 6600, 6915 }));
    EXPECT_EQ(readBytes(path),
        "[ZENTROLUX]\r\n"
        "   Top          = 1500\r\n"
        "   Left         = 3000\r\n"
        "   Width        = 6600\r\n"
        "   Height       = 6915\r\n"
        "   Quality      = 100\r\n"
        "   Pixels       = 4\r\n"
        "   Interval     = 1000\r\n"
        "   CrossHair    = 1\r\n"
        "   Capture      = 0\r\n"
        "   Sound        = 1\r\n");

    // The other values of every field come back too.
    const Settings other { -15, INT32_MIN, 0, 9, 10, 50, 65000, false, true, false };
    ASSERT_TRUE(writeSettings(path, other));
    Settings back = callerState;
    readSettings(path, back);
    EXPECT_EQ(fields(back), fields(other));

    // Any of the telescope's keys away from its default writes the whole section after the eleven lines.
    const std::string eleven = readBytes(path);
    for (const auto &change : { +[](Settings &s) { s.night = true; },
             +[](Settings &s) { s.lineColour = LineColour::Yellow; }, +[](Settings &s) { s.starOffset = true; } }) {
        Settings telescope = other;
        change(telescope);
        ASSERT_TRUE(writeSettings(path, telescope));
        const std::string text = readBytes(path);
        EXPECT_EQ(text.substr(0, eleven.size()), eleven);
        EXPECT_EQ(text.substr(eleven.size()).substr(0, 13), "[TELESCOPE]\r\n");
        Settings again = callerState;
        readSettings(path, again);
        EXPECT_EQ(fields(again), fields(telescope)) << text;
    }
    Settings allSet = other;
    allSet.night = allSet.starOffset = true;
    allSet.lineColour = LineColour::Cyan;
    ASSERT_TRUE(writeSettings(path, allSet));
    EXPECT_EQ(readBytes(path).substr(eleven.size()),
        "[TELESCOPE]\r\n"
        "   Night        = 1\r\n"
        "   LineColour   = cyan\r\n"
        "   StarOffset   = 1\r\n");

    writeBytes(dir / "plain", "plain");
    EXPECT_FALSE(writeSettings(dir / "plain" / "Zentrolux.ini", other)) << "no file can be made under a file";
}

} // namespace
} // namespace zx
