#include "infotext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> splitCrLf(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2)
        lines.push_back(text.substr(start, pos - start));
    lines.push_back(text.substr(start));
    return lines;
}

TEST(InfoText, HelpTextRowsAndBreaks)
{
    const std::string text = zx::helpText();
    // No bare CR or LF anywhere: every break is a CR LF pair.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            ASSERT_EQ(text[i + 1], '\n') << i;
        }
        if (text[i] == '\n') {
            ASSERT_EQ(text[i - 1], '\r') << i;
        }
    }
    const auto lines = splitCrLf(text);
    // Eleven rows, an empty line after each but rows 9 and 11, and a single
    // CR LF at the very end (the last split piece is empty).
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[0], std::string("Zentrolux Utility   ") + zx::MakerNotice);
    EXPECT_EQ(lines[4], "Operation:");
    EXPECT_EQ(lines[8], "Use the +/- keys to expand/contract the crosshairs.");
    EXPECT_EQ(lines[16], "Select 'Start Capture Sequence' to automatically capture");
    EXPECT_EQ(lines[17], "images on a timed basis. Exit this mode by pressing Esc.");
    EXPECT_EQ(lines[19], std::string("For more information visit ") + zx::WebSite);
    EXPECT_EQ(lines[20], "");
    for (std::size_t i : { 1u, 3u, 5u, 7u, 9u, 11u, 13u, 15u, 18u })
        EXPECT_EQ(lines[i], "") << i;
    // Joined pieces keep their single blanks.
    EXPECT_NE(lines[2].find("useful for monitoring"), std::string::npos);
    EXPECT_NE(lines[10].find("with the mouse or use the Shift+Arrow"), std::string::npos);
    EXPECT_EQ(text.find("  ", lines[0].size()), std::string::npos); // only the title has double blanks
}

TEST(InfoText, TitlesCarryTheVersion)
{
    EXPECT_EQ(zx::versionText(), "1.0.20");
    EXPECT_EQ(zx::helpCaption(), "Zentrolux Help Information  v1.0.20");
    EXPECT_EQ(zx::aboutTitle(), "Zentrolux V1.0.20");
}

TEST(InfoText, Centring)
{
    EXPECT_EQ(zx::centredOrigin(19200, 7500), 5850);
    EXPECT_EQ(zx::centredOrigin(19200, 7501), 5849); // remainder dropped
    EXPECT_EQ(zx::centredOrigin(100, 103), -1); // toward zero
    EXPECT_EQ(zx::centredOrigin(100, 102.5), -1); // -2.5 rounds to -2 first
    EXPECT_EQ(zx::centredOrigin(100, 96.5), 2); // 3.5 rounds to 4
}

} // namespace
