#include "captureroute.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace zx {

SessionFacts sessionFromEnvironment()
{
    const auto value = [](const char *name) {
        const char *v = std::getenv(name);
        return std::string(v != nullptr ? v : "");
    };
    return { value("WAYLAND_DISPLAY"), value("XDG_SESSION_TYPE"), value("SWAYSOCK"), value("XDG_CURRENT_DESKTOP"),
        value("LABWC_PID") };
}

bool isWaylandSession(const SessionFacts &session)
{
    return !session.waylandDisplay.empty() || session.sessionType == "wayland";
}

Desktop decideDesktop(const SessionFacts &session, bool x11Window)
{
    const bool wayland = isWaylandSession(session);
    // sway's socket counts only in a Wayland session: an X11 session started from sway inherits it.
    // So does labwc's mark, and labwc names itself among the desktops, or its children know its pid.
    bool labwc = !session.labwcPid.empty();
    std::size_t at = 0;
    while (!labwc && at <= session.currentDesktop.size()) {
        const std::size_t end = std::min(session.currentDesktop.find(':', at), session.currentDesktop.size());
        std::string name = session.currentDesktop.substr(at, end - at);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        labwc = name == "labwc";
        at = end + 1;
    }
    return { wayland, x11Window, wayland ? session.swaySocket : std::string(), wayland && labwc };
}

CaptureRoute chooseCaptureRoute(const Desktop &desktop)
{
    return desktop.wayland ? CaptureRoute::Portal : CaptureRoute::X11;
}

PortalOutcome portalOutcome(
    const std::optional<unsigned> &response, const std::string &callError, double secondsToAnswer)
{
    if (!response) {
        if (callError.empty())
            return PortalOutcome::NoAnswer;
        const bool noService = callError.rfind("org.freedesktop.DBus.Error.Service", 0) == 0
            || callError.rfind("org.freedesktop.DBus.Error.Unknown", 0) == 0
            || callError == "org.freedesktop.DBus.Error.NameHasNoOwner";
        return noService ? PortalOutcome::NoService : PortalOutcome::Failed;
    }
    switch (*response) {
    case 0:
        return PortalOutcome::Picture;
    case 1:
        return secondsToAnswer < PersonAnswersAfterSeconds ? PortalOutcome::DeclinedAtOnce : PortalOutcome::Refused;
    default:
        return PortalOutcome::Failed;
    }
}

ScreenCrop cropFromScreen(const PixelRect &area, const PixelRect &screen, int pictureWidth, int pictureHeight)
{
    const PixelRect visible { std::max(area.left, screen.left), std::max(area.top, screen.top),
        std::min(area.right, screen.right), std::min(area.bottom, screen.bottom) };
    if (visible.width() <= 0 || visible.height() <= 0 || screen.width() <= 0 || screen.height() <= 0)
        return {};
    const double sx = double(pictureWidth) / screen.width();
    const double sy = double(pictureHeight) / screen.height();
    // Edges scale independently, so neighbouring rectangles share their edge.
    const auto x = [&](int v) { return int(std::lround((v - screen.left) * sx)); };
    const auto y = [&](int v) { return int(std::lround((v - screen.top) * sy)); };
    ScreenCrop crop;
    crop.source = { x(visible.left), y(visible.top), x(visible.right), y(visible.bottom) };
    crop.target = { visible.left - area.left, visible.top - area.top, visible.right - area.left,
        visible.bottom - area.top };
    return crop;
}

} // namespace zx
