#pragma once

#include "settings.h"

#include <cstdint>
#include <optional>
#include <span>

namespace zx {

// What a choice in the popup menu asks for.
enum class MenuCommand {
    Help,
    About,
    CrossNone,
    Cross,
    FormArea,
    ClientArea,
    Quality100,
    Quality90,
    Quality80,
    Quality70,
    Quality60,
    Quality50,
    Quality40,
    Quality30,
    Quality20,
    Quality10,
    StartSequence,
    Explore,
    Clear,
    SoundOn,
    SoundOff,
    NightColours,
    LineRed, // the line colours, in the order of LineColour
    LineGreen,
    LineWhite,
    LineYellow,
    LineCyan,
    StarOffset,
};
// The last command: a front-end that numbers commands takes those up to it.
inline constexpr MenuCommand LastMenuCommand = MenuCommand::StarOffset;

// One row of the popup menu, in display order. A row with a command is an
// item; without one it is a separator ("-") or the title of a submenu whose
// rows follow one level deeper.
struct MenuRow {
    int depth = 0; // 0 for the rows of the popup itself
    const char *caption = "";
    bool hasCommand = false;
    MenuCommand command = MenuCommand::Help;
    bool checkable = false;

    [[nodiscard]] bool isSeparator() const;
    [[nodiscard]] bool isTitle() const { return !hasCommand && !isSeparator(); }
};

// The whole menu tree; both front-ends build their menus from it.
[[nodiscard]] std::span<const MenuRow> popupMenuRows();

// The JPEG quality a quality item stands for; 0 for any other command.
[[nodiscard]] std::int32_t qualityOf(MenuCommand command);

// The line colour a line colour item stands for.
[[nodiscard]] std::optional<LineColour> lineColourOf(MenuCommand command);

// The check marks as the options stand: one of each pair, and the quality
// item matching the quality, if any.
struct MenuChecks {
    bool crossHair = true;
    bool captureClient = false;
    bool soundOn = true;
    std::int32_t quality = 100;
    bool night = false;
    LineColour lineColour = LineColour::Red;
    bool starOffset = false;

    [[nodiscard]] bool isChecked(MenuCommand command) const;
};

} // namespace zx
