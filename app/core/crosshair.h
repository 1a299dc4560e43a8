#pragma once

#include "frontend.h"
#include "keys.h"
#include "layout.h"
#include "menu.h"
#include "picture.h"
#include "programinfo.h"
#include "settings.h"
#include "snapshotnumbering.h"
#include "snapshotsaver.h"
#include "staroffset.h"
#include "twips.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zx {

// Size and place of the window on a first start without a settings file.
inline constexpr int DesignInsideWidth = 7125; // twips
inline constexpr int DesignInsideHeight = 4710;
inline constexpr int DesignInsideLeft = 3450;
inline constexpr int DesignInsideTop = 2340;

inline constexpr int SplashMilliseconds = 3000;
inline constexpr const char *CameraButtonTip = "Click to save image to file, or Right-Click for options";
inline constexpr int CameraButtonTwips = 375; // 25 pixels at 96 dpi
inline constexpr int CameraPictureTwips = 255; // the 17-pixel camera picture at 96 dpi

// X11 holds no window beyond these; absurd stored bounds stop here.
inline constexpr int MaxWindowPixels = 16384;
inline constexpr int MaxWindowOffset = 32000;

// The crosshair window's behaviour: its state and every decision, from start
// to close. The front-end turns its events into the calls below and carries
// out what this asks of the parts it is given.
class Crosshair final : private KeyWindow {
public:
    struct Parts {
        CrosshairWindow &window;
        Dialogs &dialogs;
        SequenceTimer &timer;
        ScreenReader &screen;
        SnapshotWriter &writer;
        Sound &sound;
        const Clock &clock;
        SequenceTimer &starTimer; // its ticks call starTick()
    };

    Crosshair(ProgramPlace place, Parts parts, std::unique_ptr<FolderWatch> watch = makeFolderWatch());

    // Start-up: shape, show, settings, splash, the stored bounds, layout.
    void formLoad();
    // The layout pass, run on every size change; and the shape, on activation.
    void formResize();
    void formActivate();

    // Events of the window and its camera button.
    void keyDown(int keyCode, int modifierMask);
    void cmdSaveClick();
    // mouseButton: 1 left, 2 right, 4 middle; the pointer within the button.
    void cmdSaveMouseDown(int mouseButton, PixelPoint pointer);
    void choose(MenuCommand command);
    // The popup menu has closed (chosen or dismissed).
    void menuClosed() { m_menuOpen = false; }
    void timerTick();
    // While the star offset is on: one reading of the star under the window.
    void starTick();
    // A close request: true when the window may close now (the settings are
    // written); false when it is kept until start-up or a snapshot ends.
    [[nodiscard]] bool closeRequested();
    // The system ends the session and will end the program whatever it does:
    // the sequence stops and the settings are written now, as a close would.
    void sessionEnds();

    void startSequence(int milliseconds);
    // Esc: the sequence stops and the caption shows the program name.
    void stopSequence() override;

    [[nodiscard]] const Settings &settings() const { return m_settings; }
    [[nodiscard]] const ProgramPlace &place() const { return m_place; }
    [[nodiscard]] const SnapshotTimings &lastSnapshotTimings() const { return m_timings; }

private:
    // KeyWindow: the keys' view of the window, in twips.
    [[nodiscard]] TwipsRect outerBounds() const override;
    void setOuterBounds(const TwipsRect &bounds) override;
    void setOuterWidth(int width) override;
    void setOuterHeight(int height) override;
    [[nodiscard]] int twipsPerPixelX() const override { return m_window.twipsPerPixelX(); }
    [[nodiscard]] int twipsPerPixelY() const override { return m_window.twipsPerPixelY(); }
    [[nodiscard]] std::int32_t pixels() const override { return m_settings.pixels; }
    void setPixels(std::int32_t pixels) override { m_settings.pixels = pixels; }
    void relayout() override { formResize(); }
    void takeSnapshot() override { cmdSaveClick(); }
    void openHelp() override { choose(MenuCommand::Help); }

    [[nodiscard]] TwipsScale scale() const;
    [[nodiscard]] int buttonWidth() const;
    [[nodiscard]] int buttonHeight() const;
    // Outer bounds in pixels, the window manager's frame kept as it is.
    void placeOuter(const PixelRect &outer);
    void rememberBounds(const TwipsRect &bounds);
    void keepReachable(const TwipsRect &designBounds);
    // What keeps the window from staying on top, told, or put right with the user's consent.
    void offerToKeepOnTop(const std::string &why);
    void closeIfAsked();
    void unload();
    void showProblem(const std::string &text);
    void showChecks();

    void setOption(bool &option, bool value, bool relayout);
    void setQuality(std::int32_t quality);
    void showInformation(bool help);
    void startCaptureSequence();
    void setStarOffset(bool on);
    // The crosshair's centre on the screen: midway between the lines of each pair as drawn.
    [[nodiscard]] ScreenPoint crosshairCentre(const PixelRect &inside) const;
    // The crosshair's own pixels on the screen, which the star reading leaves out.
    [[nodiscard]] std::vector<PixelRect> ownPixels(const PixelRect &inside) const;
    void appendOffsets(std::chrono::system_clock::time_point moment, const StarReading &star, const ScreenPoint &offset);
    [[nodiscard]] std::string snapshotDescription() const;
    void clearImages();
    void runSnapshot(bool sequence);
    void showButtonAgain();

    ProgramPlace m_place;
    CrosshairWindow &m_window;
    Dialogs &m_dialogs;
    SequenceTimer &m_timer;
    ScreenReader &m_screen;
    SnapshotWriter &m_writer;
    Sound &m_sound;
    const Clock &m_clock;
    SequenceTimer &m_starTimer;

    Settings m_settings; // the values in use, the options included
    bool m_resizing = false; // a layout pass is running
    bool m_loading = false;
    bool m_splashing = false;
    bool m_snapshotRunning = false;
    bool m_closePending = false;
    bool m_closed = false;
    bool m_informationOpen = false; // the help or About window: no keys, clicks or menu meanwhile

    // The child controls' places: lines in twips of the inside, in the order
    // vLine1, vLine2, hLine1, hLine2; the button and the picture box in pixels.
    std::array<LineGeometry, 4> m_lines {};
    PixelRect m_button;
    bool m_buttonShown = true;
    PixelRect m_pictureBox { 0, 0, MaxWindowPixels, MaxWindowPixels };

    std::vector<PixelRect> m_bands; // the lines' bands as last shown, pixels of the inside
    DriftFit m_drift;
    std::optional<ScreenPoint> m_starOffsetNow; // of the last reading; none without a star
    // The popup menu is open: the star is not read meanwhile, as the menu may
    // lie over the inside, and a caption changing under it closed it (Wine).
    bool m_menuOpen = false;
    bool m_starReading = false; // a reading is under way (a message it shows lets events run)
    bool m_offsetsProblemTold = false; // the readings' file could not be written: told once

    SnapshotNumbering m_numbering; // follows the images folder rather than listing it per snapshot
    SnapshotTimings m_timings;
};

} // namespace zx
