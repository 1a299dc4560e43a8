#include "numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

namespace {

TEST(NumericPrefix, ReadsTheLeadingNumber)
{
    const std::pair<const char *, double> cases[] = {
        { "12px", 12 },
        { "2,5", 2 },
        { "abc", 0 },
        { "", 0 },
        { "1.5E3", 1500 },
        { "1 500", 1500 },
        { "  1500 ms", 1500 },
        { "-42", -42 },
        { "+7", 7 },
        { "- 3", -3 },
        { ".5", 0.5 },
        { "5.", 5 },
        { "-.", 0 },
        { "0.4", 0.4 },
        { "2.5e-1", 0.25 },
        { "1e", 1 }, // an exponent needs digits
        { "1e+", 1 },
        { "3E 2", 300 }, // blanks are skipped even there
        { "&H10", 16 },
        { "&hFF", 255 },
        { "&HFFFF", -1 }, // four hex digits are a 16-bit number
        { "&H8000", -32768 },
        { "&H10000", 65536 },
        { "&O17", 15 },
        { "&X1", 0 },
        { "1\t2", 12 },
    };
    for (const auto &[text, expected] : cases)
        EXPECT_DOUBLE_EQ(zx::readNumericPrefix(text), expected) << '"' << text << '"';
}

TEST(NumericPrefix, IgnoresTheLocaleAndSaturatesHugeValues)
{
    // A locale with a decimal comma must not change how "2.5" reads.
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) {
        EXPECT_DOUBLE_EQ(zx::readNumericPrefix("2.5"), 2.5);
        std::setlocale(LC_NUMERIC, saved.c_str());
    }
    EXPECT_TRUE(std::isinf(zx::readNumericPrefix("1e999")));
    EXPECT_DOUBLE_EQ(zx::readNumericPrefix("1e-999"), 0.0);
    EXPECT_EQ(zx::toInt32Rounded(zx::readNumericPrefix("1e999")), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(
        zx::toInt32Rounded(zx::readNumericPrefix("-99999999999")), std::numeric_limits<std::int32_t>::min());
}

TEST(Rounding, HalvesGoToTheEvenNeighbour)
{
    const std::pair<double, double> cases[] = {
        { 2.5, 2 },
        { 3.5, 4 },
        { -2.5, -2 },
        { 0.5, 0 },
        { 1.5, 2 },
        { 0.4, 0 },
        { 2.6, 3 },
        { 100.5, 100 },
    };
    for (const auto &[in, out] : cases)
        EXPECT_DOUBLE_EQ(zx::roundHalfEven(in), out) << in;
    EXPECT_EQ(zx::toInt32Rounded(std::nan("")), 0);
    EXPECT_EQ(zx::toInt32Rounded(2147483647.4), 2147483647);
}

TEST(Units, TwipsPerPixelFollowsTheResolution)
{
    EXPECT_EQ(zx::twipsPerPixel(96), 15);
    EXPECT_EQ(zx::twipsPerPixel(120), 12);
    EXPECT_EQ(zx::twipsPerPixel(144), 10);
    EXPECT_EQ(zx::twipsPerPixel(100), 14); // 14.4 rounds down
    EXPECT_EQ(zx::twipsPerPixel(5000), 1); // never zero
    EXPECT_EQ(zx::twipsPerPixel(0), 15);
}

} // namespace
