#include "settings.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>

namespace zx {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

// What start-up puts in before reading: the window's bounds, and leftovers
// in the other fields that the defaults must replace.
const Settings callerState { 11, 22, 33, 44, 7, 7, 7, false, true, false };
const Settings defaultsWithCallerBounds { 11, 22, 33, 44 };

auto fields(const Settings &s)
{
    return std::tuple(s.formTop, s.formLeft, s.formWidth, s.formHeight, s.quality, s.pixels, s.interval,
        s.crossHair, s.captureClient, s.soundOn);
}

TEST(Settings, ReadAppliesTheZentroluxKeys)
{
    struct Case {
        std::string text;
        void (*change)(Settings &);
    };
    const Case cases[] = {
        { "", [](Settings &) {} },
        { "[ZENTROLUX]\r\nCrossHair = 0\r\nCrossHair = 2\r\n", [](Settings &) {} },
        { "[ZENTROLUX]\r\nCrossHair = 0\r\nCrossHair = -1\r\n", [](Settings &) {} },
        { "[ZENTROLUX]\r\nCrossHair = 0.0\r\n", [](Settings &s) { s.crossHair = false; } },
        { "[ZENTROLUX]\r\nCrossHair = abc\r\n", [](Settings &s) { s.crossHair = false; } },
        { "[ZENTROLUX]\r\nSound = off\r\nSound = 0.4\r\n", [](Settings &) {} },
        { "[ZENTROLUX]\r\nSound = off\r\n", [](Settings &s) { s.soundOn = false; } },
        { "[ZENTROLUX]\r\nCapture = 0.4\r\n", [](Settings &s) { s.captureClient = true; } },
        { "[ZENTROLUX]\r\nPixels = 0.4\r\n", [](Settings &s) { s.pixels = 0; } },
        { "[ZENTROLUX]\r\nPixels = 2.5\r\n", [](Settings &s) { s.pixels = 2; } },
        { "[ZENTROLUX]\r\nPixels = 3.5\r\n", [](Settings &s) { s.pixels = 4; } },
        { "[ZENTROLUX]\r\nQuality = 55\r\nInterval = 0\r\n",
            [](Settings &s) {
                s.quality = 55;
                s.interval = 0;
            } },
        { "[zentrolux]\r\ntop=120\r\n", [](Settings &s) { s.formTop = 120; } },
        { "[ZENTROLUX]\r\nTop = 1e20\r\nLeft = -1e20\r\nWidth = abc\r\nHeight = 12px\r\n",
            [](Settings &s) {
                s.formTop = kMax;
                s.formLeft = kMin;
                s.formWidth = 0;
                s.formHeight = 12;
            } },
        { "\xEF\xBB\xBF[ZENTROLUX]\r\nTop = 5\r\n", [](Settings &s) { s.formTop = 5; } },
        { "[ZENTROLUX]\nTop = 5", [](Settings &s) { s.formTop = 5; } },
        // Nothing outside the exact header counts.
        { "Top = 1\r\n[ ZENTROLUX ]\r\nTop = 2\r\n[ZENTROLUX] ; main\r\nTop = 3\r\n[OTHER]\r\nTop = 4\r\n",
            [](Settings &) {} },
        { "[ZENTROLUX]\r\nT op = 1\r\nTopX = 2\r\n[OTHER]\r\n[ZENTROLUX]\r\nLeft = 6\r\n",
            [](Settings &s) { s.formLeft = 6; } },
    };
    TempDir dir;
    for (const Case &c : cases) {
        writeBytes(dir / "z.ini", c.text);
        Settings got = callerState;
        readSettings(dir / "z.ini", got);
        Settings want = defaultsWithCallerBounds;
        c.change(want);
        EXPECT_EQ(fields(got), fields(want)) << c.text;
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

    Settings s;
    s.formTop = 1500;
    s.formLeft = 3000;
    s.formWidth = 6600;
    s.formHeight = 6915;
    ASSERT_TRUE(writeSettings(path, s));
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

    const Settings other { -15, kMin, kMax, 0, 10, 50, 65000, false, true, false };
    ASSERT_TRUE(writeSettings(path, other));
    EXPECT_EQ(readBytes(path),
        "[ZENTROLUX]\r\n"
        "   Top          = -15\r\n"
        "   Left         = -2147483648\r\n"
        "   Width        = 2147483647\r\n"
        "   Height       = 0\r\n"
        "   Quality      = 10\r\n"
        "   Pixels       = 50\r\n"
        "   Interval     = 65000\r\n"
        "   CrossHair    = 0\r\n"
        "   Capture      = 1\r\n"
        "   Sound        = 0\r\n");
    Settings back = callerState;
    readSettings(path, back);
    EXPECT_EQ(fields(back), fields(other)) << "read back";
}

TEST(Settings, FailedWriteReportsFalse)
{
    TempDir dir;
    writeBytes(dir / "plain", "plain");
    EXPECT_FALSE(writeSettings(dir / "plain" / "Zentrolux.ini", Settings {}));
    EXPECT_EQ(readBytes(dir / "plain"), "plain");
}

} // namespace
} // namespace zx
