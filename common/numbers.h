#pragma once

#include <cstdint>
#include <string_view>

namespace zx {

// Reads the leading number of a text: blanks are skipped wherever they stand,
// then an optional sign, digits, an optional "." fraction and an optional
// exponent ("E", sign, digits); "&H" and "&O" introduce hexadecimal and octal
// numbers. Reading stops at the first character that cannot continue the
// number; a text without a leading number gives 0. The decimal separator is
// always ".", whatever the locale.
[[nodiscard]] double readNumericPrefix(std::string_view text);

// Nearest whole number, an exact half going to the even neighbour.
[[nodiscard]] double roundHalfEven(double value);

// roundHalfEven, then saturated to the 32-bit signed range (NaN gives 0).
[[nodiscard]] std::int32_t toInt32Rounded(double value);

// A double that holds a whole number, saturated to the 32-bit signed range.
[[nodiscard]] std::int32_t saturateToInt32(double value);

// Whole twips per screen pixel for a logical resolution in dots per inch
// (15 at 96 dpi); never less than 1.
[[nodiscard]] int twipsPerPixel(double dotsPerInch);

} // namespace zx
