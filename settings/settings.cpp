#include "settings.h"

#include "inifile.h"
#include "numbers.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>

namespace zx {

namespace {

constexpr std::string_view Header = "[ZENTROLUX]";
// Options of our own after the original ones: a file without them reads as
// before, and one that never changed them is written as before.
constexpr std::string_view TelescopeHeader = "[TELESCOPE]";

// One key of the file: its section, its name as written, and the member it
// holds. A key has a number, an on/off flag or a colour.
struct Key {
    std::string_view header;
    std::string_view name;
    std::int32_t Settings::*number = nullptr;
    bool Settings::*flag = nullptr;
    LineColour Settings::*colour = nullptr;
    bool hasDefault = true; // the bounds keep the caller's value instead
};

// In the order the file is written.
constexpr std::array<Key, 13> Keys { {
    { Header, "Top", &Settings::formTop, nullptr, nullptr, false },
    { Header, "Left", &Settings::formLeft, nullptr, nullptr, false },
    { Header, "Width", &Settings::formWidth, nullptr, nullptr, false },
    { Header, "Height", &Settings::formHeight, nullptr, nullptr, false },
    { Header, "Quality", &Settings::quality },
    { Header, "Pixels", &Settings::pixels },
    { Header, "Interval", &Settings::interval },
    { Header, "CrossHair", nullptr, &Settings::crossHair },
    { Header, "Capture", nullptr, &Settings::captureClient },
    { Header, "Sound", nullptr, &Settings::soundOn },
    { TelescopeHeader, "Night", nullptr, &Settings::night },
    { TelescopeHeader, "LineColour", nullptr, nullptr, &Settings::lineColour },
    { TelescopeHeader, "StarOffset", nullptr, &Settings::starOffset },
} };

// Loading the document upper-cases key names.
bool sameKey(std::string_view upperCased, std::string_view name)
{
    return std::equal(upperCased.begin(), upperCased.end(), name.begin(), name.end(),
        [](char a, char b) { return a == std::toupper(static_cast<unsigned char>(b)); });
}

LineColour colourNamed(std::string_view text)
{
    for (std::size_t i = 0; i < LineColourNames.size(); ++i) {
        const std::string_view name = LineColourNames[i];
        if (std::equal(text.begin(), text.end(), name.begin(), name.end(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == static_cast<unsigned char>(b);
            }))
            return static_cast<LineColour>(i);
    }
    return LineColour::Red;
}

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void setDefault(const Key &key, Settings &s)
{
    const Settings defaults;
    if (key.number != nullptr)
        s.*key.number = defaults.*key.number;
    else if (key.flag != nullptr)
        s.*key.flag = defaults.*key.flag;
    else
        s.*key.colour = defaults.*key.colour;
}

bool isDefault(const Key &key, const Settings &s)
{
    const Settings defaults;
    if (key.number != nullptr)
        return s.*key.number == defaults.*key.number;
    if (key.flag != nullptr)
        return s.*key.flag == defaults.*key.flag;
    return s.*key.colour == defaults.*key.colour;
}

std::string valueText(const Key &key, const Settings &s)
{
    if (key.number != nullptr)
        return std::to_string(s.*key.number);
    if (key.flag != nullptr)
        return s.*key.flag ? "1" : "0";
    const auto index = static_cast<std::size_t>(s.*key.colour);
    return std::string(index < LineColourNames.size() ? LineColourNames[index] : LineColourNames[0]);
}

} // namespace

void readSettings(const std::filesystem::path &path, Settings &s)
{
    for (const Key &key : Keys) {
        if (key.hasDefault)
            setDefault(key, s);
    }

    INIfile settingsDoc;
    settingsDoc.loadFile(path);
    for (const INIline &entry : settingsDoc.iniLines()) {
        const auto key = std::find_if(Keys.begin(), Keys.end(), [&](const Key &k) {
            return entry.group() == k.header && sameKey(entry.section(), k.name);
        });
        if (key == Keys.end())
            continue;
        if (key->colour != nullptr) {
            s.*key->colour = colourNamed(trimmed(entry.value()));
            continue;
        }
        const double number = readNumericPrefix(entry.value());
        if (key->number != nullptr)
            s.*key->number = toInt32Rounded(number);
        else // the unrounded number, so 0.4 still means on
            s.*key->flag = number != 0.0;
    }
    // A hand-edited gap outside the keys' range would draw the pairs crossed
    // or off the window, and plus would narrow it.
    s.pixels = std::clamp(s.pixels, MinPixels, MaxPixels);
}

bool writeSettings(const std::filesystem::path &path, const Settings &s)
{
    const bool telescope = std::any_of(Keys.begin(), Keys.end(),
        [&](const Key &key) { return key.header == TelescopeHeader && !isDefault(key, s); });
    INIfile settingsDoc;
    INIlines &lines = settingsDoc.iniLines();
    std::string_view header;
    for (const Key &key : Keys) {
        if (key.header == TelescopeHeader && !telescope)
            break;
        if (key.header != header) {
            header = key.header;
            lines.add(std::string(header));
        }
        lines.add(std::string(header), std::string(key.name), valueText(key, s));
    }
    return settingsDoc.saveFile(path);
}

} // namespace zx
