#pragma once

// What the crosshair's behaviour asks of a front-end (Qt, Win32) and of the
// fakes its tests use. Each front-end carries the requests out and decides
// nothing itself.

#include "geometry.h"
#include "localclock.h"
#include "menu.h"
#include "settle.h"
#include "shape.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zx {

struct Colour {
    int red = 0;
    int green = 0;
    int blue = 0;
    friend bool operator==(const Colour &, const Colour &) = default;
};

// A crosshair line as drawn, in pixels of the inside.
struct DrawnLine {
    double x1 = 0;
    double y1 = 0;
    double x2 = 0;
    double y2 = 0;
    int width = 1;
    friend bool operator==(const DrawnLine &, const DrawnLine &) = default;
};

// Where the window is on the screen, in screen pixels.
struct WindowBounds {
    PixelRect outer; // frame and title bar included
    PixelRect inside; // the client area
};

// Everything the window shows, as one layout pass leaves it.
struct WindowLook {
    Shape shape; // from the outer top-left corner, frame included
    std::vector<DrawnLine> lines; // the visible ones
    PixelRect button; // the camera button, in pixels of the inside
    bool buttonShown = true;
    int cameraPictureWidth = 17; // the picture on the button, pixels
    int cameraPictureHeight = 17;
    bool splash = false; // the picture box, black, covers the inside
    PixelRect pictureBox; // the picture box, pixels of the inside
    PixelRect splashPicture; // the splash picture in it: whole, scaled and centred in the inside
    Colour colour; // of the lines and the bands
};

class CrosshairWindow {
public:
    virtual ~CrosshairWindow() = default;

    // Where the window really is now: what the window manager made of the
    // last request, never the request itself.
    [[nodiscard]] virtual WindowBounds bounds() const = 0;
    [[nodiscard]] virtual int twipsPerPixelX() const = 0;
    [[nodiscard]] virtual int twipsPerPixelY() const = 0;
    [[nodiscard]] virtual std::vector<PixelRect> screens() const = 0;
    // Neither minimized nor maximized.
    [[nodiscard]] virtual bool isNormal() const = 0;

    // The inside's size before the window is first shown.
    virtual void resizeInside(int width, int height) = 0;
    // The splash picture's own size, in pixels.
    [[nodiscard]] virtual PixelRect splashPictureSize() const = 0;
    // Shows the window and waits until the window manager has framed it.
    virtual void showFramed() = 0;
    // Asks for new outer bounds and waits for the window manager's answer.
    virtual void requestPlace(const PixelRect &outer) = 0;
    virtual void setCaption(const std::string &caption) = 0;
    virtual void setLook(const WindowLook &look) = 0;
    // The camera button as the screen shows it now, before a snapshot hides it.
    [[nodiscard]] virtual ScreenPixels buttonPixels() const = 0;
    virtual void enableButton(bool enabled) = 0;
    virtual void setAbove(bool above) = 0;
    // What keeps the window from staying above the others on this desktop,
    // as the user reads it, with what to do; empty when nothing does.
    [[nodiscard]] virtual std::string whyNotOnTop() const = 0;
    // Whether the program may itself put right what whyNotOnTop() names (a
    // rule in the desktop's configuration), once the user agrees; and doing
    // it: what the user should read then (what is left to do, or what went
    // wrong), or empty.
    [[nodiscard]] virtual bool canKeepOnTopItself() const { return false; }
    virtual std::string keepOnTopItself() { return {}; }
    virtual void showChecks(const MenuChecks &checks) = 0;
    virtual void popupMenu(PixelPoint atInside) = 0;

    // Lets pending window events run (repaints, keys, timer ticks).
    virtual void letEventsRun() = 0;
    // Paints now, then blocks for a while: repaints go on, input waits.
    virtual void pauseWithoutInput(int milliseconds) = 0;
    // Closes the window from the event loop, as a close request would.
    virtual void closeSoon() = 0;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A message with an exclamation mark and OK, titled with the program name.
    virtual void warn(const std::string &text) = 0;
    // A question with Yes and No; true for Yes.
    [[nodiscard]] virtual bool confirm(const std::string &question) = 0;
    // A line of text; nullopt when cancelled.
    [[nodiscard]] virtual std::optional<std::string> askText(const std::string &prompt, const std::string &initial)
        = 0;
    // A message with OK that leaves the window its keys and its close box;
    // returns once it is closed, by the user or by closeProblem(). Esc on it
    // calls onEscape and leaves it open.
    virtual void showProblem(const std::string &text, const std::function<void()> &onEscape) = 0;
    virtual void closeProblem() = 0;
    virtual void showHelp() = 0;
    virtual void showAbout() = 0;
    virtual void openFolder(const std::filesystem::path &folder) = 0;
};

// The capture sequence's timer: each tick calls Crosshair::timerTick().
class SequenceTimer {
public:
    virtual ~SequenceTimer() = default;
    virtual void start(int milliseconds) = 0;
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isRunning() const = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual std::tm localNow() const = 0;
    [[nodiscard]] virtual std::chrono::system_clock::time_point systemNow() const = 0;
};

class SystemClock final : public Clock {
public:
    [[nodiscard]] std::tm localNow() const override { return zx::localNow(); }
    [[nodiscard]] std::chrono::system_clock::time_point systemNow() const override
    {
        return std::chrono::system_clock::now();
    }
};

class Sound {
public:
    virtual ~Sound() = default;
    // The shutter click, played while the snapshot goes on.
    virtual void playClick() = 0;
};

} // namespace zx
