#include "numbers.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace zx {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Collects the characters of the number with blanks removed; blanks may stand
// anywhere, even between digits ("1 500" is 1500).
class Cursor {
public:
    explicit Cursor(std::string_view text)
        : m_text(text)
    {
    }

    [[nodiscard]] char peek()
    {
        skipBlanks();
        return m_pos < m_text.size() ? m_text[m_pos] : '\0';
    }

    // Looks past the next character, for a sign or digit that must follow it.
    [[nodiscard]] char peekSecond()
    {
        skipBlanks();
        std::size_t p = m_pos + 1;
        while (p < m_text.size() && isBlank(m_text[p]))
            ++p;
        return p < m_text.size() ? m_text[p] : '\0';
    }

    [[nodiscard]] char peekThird()
    {
        skipBlanks();
        std::size_t p = m_pos + 1;
        for (int seen = 0; p < m_text.size(); ++p) {
            if (isBlank(m_text[p]))
                continue;
            if (++seen == 2)
                return m_text[p];
        }
        return '\0';
    }

    char take()
    {
        const char c = peek();
        if (c != '\0')
            ++m_pos;
        return c;
    }

private:
    void skipBlanks()
    {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos]))
            ++m_pos;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

double readRadix(Cursor &in, int radix)
{
    std::uint64_t value = 0;
    int digits = 0;
    for (;;) {
        const char c = in.peek();
        int d = -1;
        if (isDigit(c))
            d = c - '0';
        else if (radix == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (radix == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0 || d >= radix)
            break;
        in.take();
        if (value < (std::uint64_t { 1 } << 56))
            value = value * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(d);
        ++digits;
    }
    // Hexadecimal and octal literals are 16-bit when they fit in four hex
    // (six octal) digits and 32-bit otherwise, so &HFFFF reads as -1.
    if (value <= 0xFFFF && ((radix == 16 && digits <= 4) || (radix == 8 && value <= 0xFFFF))) {
        return value >= 0x8000 ? static_cast<double>(value) - 65536.0 : static_cast<double>(value);
    }
    if (value <= 0xFFFFFFFFull)
        return value >= 0x80000000ull ? static_cast<double>(value) - 4294967296.0
                                      : static_cast<double>(value);
    return static_cast<double>(value);
}

} // namespace

double readNumericPrefix(std::string_view text)
{
    Cursor in(text);
    if (in.peek() == '&') {
        const char kind = in.peekSecond();
        if (kind == 'H' || kind == 'h') {
            in.take();
            in.take();
            return readRadix(in, 16);
        }
        if (kind == 'O' || kind == 'o') {
            in.take();
            in.take();
            return readRadix(in, 8);
        }
        return 0.0;
    }

    std::string number;
    if (in.peek() == '+' || in.peek() == '-')
        number += in.take();
    bool anyDigit = false;
    while (isDigit(in.peek())) {
        number += in.take();
        anyDigit = true;
    }
    if (in.peek() == '.') {
        number += in.take();
        while (isDigit(in.peek())) {
            number += in.take();
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0.0;
    const char e = in.peek();
    if (e == 'E' || e == 'e' || e == 'D' || e == 'd') {
        const char next = in.peekSecond();
        const bool signedExp = (next == '+' || next == '-') && isDigit(in.peekThird());
        if (isDigit(next) || signedExp) {
            in.take();
            number += 'e';
            if (signedExp)
                number += in.take();
            while (isDigit(in.peek()))
                number += in.take();
        }
    }
    // from_chars ignores the locale (Qt sets the user's on start-up), so "."
    // stays the decimal separator. A value beyond double's range saturates.
    if (number.front() == '+')
        number.erase(0, 1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        const bool negative = number.front() == '-';
        const auto ePos = number.find('e');
        const bool tiny = ePos != std::string::npos && number[ePos + 1] == '-';
        if (tiny)
            return 0.0;
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    return value;
}

double roundHalfEven(double value)
{
    // nearbyint honours the rounding mode, which is to-nearest-even unless
    // someone changed it; make that explicit rather than assume.
    const int saved = std::fegetround();
    if (saved != FE_TONEAREST)
        std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    if (saved != FE_TONEAREST)
        std::fesetround(saved);
    return r;
}

std::int32_t saturateToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

std::int32_t toInt32Rounded(double value)
{
    return saturateToInt32(roundHalfEven(value));
}

int twipsPerPixel(double dotsPerInch)
{
    if (!(dotsPerInch > 0.0))
        return 15;
    const double tpp = roundHalfEven(1440.0 / dotsPerInch);
    return tpp < 1.0 ? 1 : static_cast<int>(tpp);
}

} // namespace zx
