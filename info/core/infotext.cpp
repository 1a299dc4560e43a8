#include "infotext.h"

#include "numbers.h"
#include "version.h"

#include <cmath>

namespace zx {

std::string versionText()
{
    return std::to_string(version::major) + "." + std::to_string(version::minor) + "."
        + std::to_string(version::revision);
}

std::string helpCaption()
{
    return "Zentrolux Help Information  v" + versionText();
}

std::string aboutTitle()
{
    return "Zentrolux V" + versionText();
}

std::string helpText()
{
    struct Row {
        std::string text;
        int breaks;
    };
    const Row rows[] = {
        { std::string("Zentrolux Utility") + "   " + MakerNotice, 2 },
        { "A simple utility to place crosshairs on the screen - useful for "
          "monitoring the movement of a star on a CCD or web cam display or use "
          "it with a CCD camera in your guide scope to manually guide in a "
          "remote control setup. The utility can also take a snapshot of the "
          "underlying screen (JPEG format).",
            2 },
        { "Operation:", 2 },
        { "Click and drag the title bar (using the mouse) to move the window or "
          "use the Control+Arrow keys on the keyboard.",
            2 },
        { "Use the +/- keys to expand/contract the crosshairs.", 2 },
        { "Click and drag the edges of the window to resize with the mouse or use the "
          "Shift+Arrow keys on the keyboard to size the window as a square, "
          "Alt+Arrow keys to size the window as a rectangle.",
            2 },
        { "Click on the camera to take a snapshot - the file is automatically "
          "named and placed in the folder called Images.",
            2 },
        { "Right-click on the Camera for options on turning off the crosshairs, or "
          "for capturing the entire window or the inside portion only.",
            2 },
        { "Select 'Start Capture Sequence' to automatically capture", 1 },
        { "images on a timed basis. Exit this mode by pressing Esc.", 2 },
        { std::string("For more information visit ") + WebSite, 1 },
    };
    std::string text;
    for (const auto &row : rows) {
        text += row.text;
        for (int i = 0; i < row.breaks; ++i)
            text += "\r\n";
    }
    return text;
}

int centredOrigin(double screenSize, double windowSize)
{
    const double difference = roundHalfEven(screenSize - windowSize);
    return saturateToInt32(std::trunc(difference / 2.0));
}

InfoSize helpInsideSize(int tppX, int tppY)
{
    // Rounded, not cut: at 200 % the 7215 twips are 901.9 pixels.
    return { toInt32Rounded(double(HelpInsideWidthTwips) / tppX), toInt32Rounded(double(HelpInsideHeightTwips) / tppY) };
}

InfoSize aboutInsideSize(InfoSize artwork, int tppX, int tppY)
{
    return { toInt32Rounded(double(artwork.width) * ArtworkTwipsPerPixel / tppX),
        toInt32Rounded(double(artwork.height) * ArtworkTwipsPerPixel / tppY) };
}

PixelPoint centredOnScreen(const PixelRect &screen, InfoSize outer, int tppX, int tppY)
{
    const int left = centredOrigin(double(screen.width()) * tppX, double(outer.width) * tppX);
    const int top = centredOrigin(double(screen.height()) * tppY, double(outer.height) * tppY);
    return { screen.left + toInt32Rounded(double(left) / tppX), screen.top + toInt32Rounded(double(top) / tppY) };
}

} // namespace zx
