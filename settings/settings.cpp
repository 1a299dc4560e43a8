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

// One key of the file: its name as written, and the member it holds. A key
// has either a number or an on/off flag.
struct Key {
    std::string_view name;
    std::int32_t Settings::*number = nullptr;
    bool Settings::*flag = nullptr;
    bool hasDefault = true; // the bounds keep the caller's value instead
};

// In the order the file is written.
constexpr std::array<Key, 10> Keys { {
    { "Top", &Settings::formTop, nullptr, false },
    { "Left", &Settings::formLeft, nullptr, false },
    { "Width", &Settings::formWidth, nullptr, false },
    { "Height", &Settings::formHeight, nullptr, false },
    { "Quality", &Settings::quality },
    { "Pixels", &Settings::pixels },
    { "Interval", &Settings::interval },
    { "CrossHair", nullptr, &Settings::crossHair },
    { "Capture", nullptr, &Settings::captureClient },
    { "Sound", nullptr, &Settings::soundOn },
} };

// Loading the document upper-cases key names.
bool sameKey(std::string_view upperCased, std::string_view name)
{
    return std::equal(upperCased.begin(), upperCased.end(), name.begin(), name.end(),
        [](char a, char b) { return a == std::toupper(static_cast<unsigned char>(b)); });
}

} // namespace

void readSettings(const std::filesystem::path &path, Settings &s)
{
    const Settings defaults;
    for (const Key &key : Keys) {
        if (!key.hasDefault)
            continue;
        if (key.number != nullptr)
            s.*key.number = defaults.*key.number;
        else
            s.*key.flag = defaults.*key.flag;
    }

    INIfile settingsDoc;
    settingsDoc.loadFile(path);
    for (const INIline &entry : settingsDoc.iniLines()) {
        if (entry.group() != Header)
            continue;
        const auto key = std::find_if(
            Keys.begin(), Keys.end(), [&](const Key &k) { return sameKey(entry.section(), k.name); });
        if (key == Keys.end())
            continue;
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
    INIfile settingsDoc;
    INIlines &lines = settingsDoc.iniLines();
    const std::string group(Header);
    lines.add(group);
    for (const Key &key : Keys) {
        const std::string value
            = key.number != nullptr ? std::to_string(s.*key.number) : (s.*key.flag ? "1" : "0");
        lines.add(group, std::string(key.name), value);
    }
    return settingsDoc.saveFile(path);
}

} // namespace zx
