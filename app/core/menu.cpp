#include "menu.h"

#include <array>
#include <string_view>

namespace zx {

namespace {

constexpr MenuRow item(int depth, const char *caption, MenuCommand command, bool checkable = false)
{
    return { depth, caption, true, command, checkable };
}

constexpr MenuRow plain(int depth, const char *caption)
{
    return { depth, caption, false, MenuCommand::Help, false };
}

using C = MenuCommand;

constexpr std::array Rows {
    item(0, "Help", C::Help),
    item(0, "About Zentrolux", C::About),
    plain(0, "-"),
    plain(0, "CrossHair"),
    item(1, "None", C::CrossNone, true),
    item(1, "Cross", C::Cross, true),
    plain(0, "-"),
    plain(0, "Capture"),
    item(1, "Form Area", C::FormArea, true),
    item(1, "Client Area", C::ClientArea, true),
    plain(0, "-"),
    plain(0, "Jpeg Quality"),
    item(1, "100 (Best/Largest)", C::Quality100, true),
    item(1, "90", C::Quality90, true),
    item(1, "80", C::Quality80, true),
    item(1, "70", C::Quality70, true),
    item(1, "60", C::Quality60, true),
    item(1, "50", C::Quality50, true),
    item(1, "40", C::Quality40, true),
    item(1, "30", C::Quality30, true),
    item(1, "20", C::Quality20, true),
    item(1, "10 (Worst/Smallest)", C::Quality10, true),
    plain(0, "-"),
    plain(0, "Sequence"),
    item(1, "Start Capture Sequence", C::StartSequence),
    plain(0, "-"),
    plain(0, "Images"),
    item(1, "Explore Images Folder", C::Explore),
    plain(1, "-"),
    item(1, "Clear All Images", C::Clear),
    plain(0, "-"),
    plain(0, "Sound"),
    item(1, "On", C::SoundOn, true),
    item(1, "Off", C::SoundOff, true),
    // For the telescope, after the original items.
    plain(0, "-"),
    plain(0, "Telescope"),
    item(1, "Night Colours", C::NightColours, true),
    plain(1, "-"),
    item(1, "Red Lines", C::LineRed, true),
    item(1, "Green Lines", C::LineGreen, true),
    item(1, "White Lines", C::LineWhite, true),
    item(1, "Yellow Lines", C::LineYellow, true),
    item(1, "Cyan Lines", C::LineCyan, true),
    plain(1, "-"),
    item(1, "Star Offset", C::StarOffset, true),
};

} // namespace

bool MenuRow::isSeparator() const
{
    return !hasCommand && std::string_view(caption) == "-";
}

std::span<const MenuRow> popupMenuRows()
{
    return Rows;
}

std::int32_t qualityOf(MenuCommand command)
{
    const int first = static_cast<int>(C::Quality100);
    const int index = static_cast<int>(command) - first;
    return index >= 0 && index < 10 ? 100 - 10 * index : 0;
}

std::optional<LineColour> lineColourOf(MenuCommand command)
{
    const int index = static_cast<int>(command) - static_cast<int>(C::LineRed);
    if (index < 0 || index >= static_cast<int>(LineColourNames.size()))
        return std::nullopt;
    return static_cast<LineColour>(index);
}

bool MenuChecks::isChecked(MenuCommand command) const
{
    if (const auto colour = lineColourOf(command))
        return *colour == lineColour;
    switch (command) {
    case C::NightColours:
        return night;
    case C::StarOffset:
        return starOffset;
    case C::CrossNone:
        return !crossHair;
    case C::Cross:
        return crossHair;
    case C::FormArea:
        return !captureClient;
    case C::ClientArea:
        return captureClient;
    case C::SoundOn:
        return soundOn;
    case C::SoundOff:
        return !soundOn;
    default:
        // A quality from the settings file that no item stands for checks none.
        return qualityOf(command) != 0 && qualityOf(command) == quality;
    }
}

} // namespace zx
