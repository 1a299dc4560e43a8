#pragma once

#include "geometry.h"

#include <optional>
#include <string>

namespace zx {

// What the session tells about itself through its environment.
struct SessionFacts {
    std::string waylandDisplay; // WAYLAND_DISPLAY
    std::string sessionType; // XDG_SESSION_TYPE
    std::string swaySocket = {}; // SWAYSOCK: sway's IPC socket
    std::string currentDesktop = {}; // XDG_CURRENT_DESKTOP: names separated by colons
    std::string labwcPid = {}; // LABWC_PID: set by labwc for what it starts
};

// The facts as this process's environment gives them.
[[nodiscard]] SessionFacts sessionFromEnvironment();

// A Wayland session: WAYLAND_DISPLAY is set or XDG_SESSION_TYPE says so. The
// program then runs through XWayland, whose root window holds no picture.
[[nodiscard]] bool isWaylandSession(const SessionFacts &session);

// The desktop session, decided once at start and handed to the pieces that
// differ by it (the window system, the screen grab).
struct Desktop {
    bool wayland = false; // a Wayland session: its X server holds no picture of the screen
    bool x11Window = false; // the window is an X11 window, natively or through Xwayland
    std::string swaySocket; // sway's IPC socket under a sway session, else empty
    bool labwc = false; // a labwc session
};

[[nodiscard]] Desktop decideDesktop(const SessionFacts &session, bool x11Window);

// How a snapshot reads the screen.
enum class CaptureRoute {
    X11, // straight from the X server's root window
    Portal, // the desktop portal's screenshot, which the compositor takes
};

[[nodiscard]] CaptureRoute chooseCaptureRoute(const Desktop &desktop);

// Why the desktop's screenshot portal gave no picture, read from how its
// request ended: its response code (none when it never answered) or the
// D-Bus error of the call, and how long after the call the answer came.
enum class PortalOutcome {
    Picture, // response 0: the picture is there
    NoService, // nothing answers the portal's name on the bus
    DeclinedAtOnce, // "cancelled" faster than anyone reads a question: nobody was asked now
    Refused, // "cancelled" after a while: the user said no
    Failed, // the desktop could not make the picture
    NoAnswer, // no answer in time
};

// A "cancelled" answer sooner than this came from the desktop, not from a person.
inline constexpr double PersonAnswersAfterSeconds = 0.5;

[[nodiscard]] PortalOutcome portalOutcome(
    const std::optional<unsigned> &response, const std::string &callError, double secondsToAnswer);

// Where a rectangle of the screen lies in a picture of the whole screen that
// may have another scale (a scaled output gives more pixels than the screen's
// coordinates count), and where that part goes in a picture of the rectangle.
struct ScreenCrop {
    PixelRect source; // in the screen's picture
    PixelRect target; // in the rectangle's picture, as large as the rectangle
};

// `area` and `screen` in screen coordinates, the picture `pictureWidth` x
// `pictureHeight` showing all of `screen`. Parts of the area off the screen
// are left out of source and target; an empty target means nothing of the
// area is on the screen.
[[nodiscard]] ScreenCrop cropFromScreen(
    const PixelRect &area, const PixelRect &screen, int pictureWidth, int pictureHeight);

} // namespace zx
