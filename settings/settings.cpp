#include "settings.h"

#include "inifile.h"
#include "numbers.h"

#include <string>
#include <string_view>

namespace zx {

namespace {

constexpr std::string_view kHeader = "[ZENTROLUX]";

} // namespace

void readSettings(const std::filesystem::path &path, Settings &s)
{
    INIfile settingsDoc;
    s.pixels = 4;
    s.crossHair = true;
    s.captureClient = false;
    s.soundOn = true;
    s.interval = 1000;
    s.quality = 100;

    settingsDoc.loadFile(path);
    // Every matching line is applied in file order, so the last occurrence wins.
    for (const INIline &entry : settingsDoc.iniLines()) {
        if (entry.group() != kHeader)
            continue;
        const std::string &key = entry.section();
        const double number = readNumericPrefix(entry.value());
        if (key == "TOP")
            s.formTop = toInt32Rounded(number);
        else if (key == "LEFT")
            s.formLeft = toInt32Rounded(number);
        else if (key == "WIDTH")
            s.formWidth = toInt32Rounded(number);
        else if (key == "HEIGHT")
            s.formHeight = toInt32Rounded(number);
        else if (key == "QUALITY")
            s.quality = toInt32Rounded(number);
        else if (key == "PIXELS")
            s.pixels = toInt32Rounded(number);
        else if (key == "INTERVAL")
            s.interval = toInt32Rounded(number);
        // The switches compare the unrounded number, so 0.4 still means on.
        else if (key == "CROSSHAIR")
            s.crossHair = number != 0.0;
        else if (key == "CAPTURE")
            s.captureClient = number != 0.0;
        else if (key == "SOUND")
            s.soundOn = number != 0.0;
    }
}

bool writeSettings(const std::filesystem::path &path, const Settings &s)
{
    INIfile settingsDoc;
    INIlines &lines = settingsDoc.iniLines();
    const std::string group(kHeader);
    lines.add(group);
    lines.add(group, "Top", std::to_string(s.formTop));
    lines.add(group, "Left", std::to_string(s.formLeft));
    lines.add(group, "Width", std::to_string(s.formWidth));
    lines.add(group, "Height", std::to_string(s.formHeight));
    lines.add(group, "Quality", std::to_string(s.quality));
    lines.add(group, "Pixels", std::to_string(s.pixels));
    lines.add(group, "Interval", std::to_string(s.interval));
    lines.add(group, "CrossHair", s.crossHair ? "1" : "0");
    lines.add(group, "Capture", s.captureClient ? "1" : "0");
    lines.add(group, "Sound", s.soundOn ? "1" : "0");
    return settingsDoc.saveFile(path);
}

} // namespace zx
