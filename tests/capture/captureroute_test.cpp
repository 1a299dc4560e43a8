#include "captureroute.h"

#include <gtest/gtest.h>

namespace {

using zx::CaptureRoute;
using zx::PixelRect;

TEST(CaptureRoute, WaylandSessionsUseThePortal)
{
    const struct {
        zx::SessionFacts session;
        CaptureRoute route;
    } cases[] = {
        { { "", "" }, CaptureRoute::X11 }, { { "", "x11" }, CaptureRoute::X11 },
        { { "", "tty" }, CaptureRoute::X11 }, { { "wayland-0", "" }, CaptureRoute::Portal },
        { { "wayland-1", "x11" }, CaptureRoute::Portal }, // the socket is there: Wayland it is
        { { "", "wayland" }, CaptureRoute::Portal },
        { { "", "Wayland" }, CaptureRoute::X11 }, // the value is lower case by definition
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.session.waylandDisplay + "/" + c.session.sessionType);
        EXPECT_EQ(zx::chooseCaptureRoute(zx::decideDesktop(c.session, true)), c.route);
        EXPECT_EQ(zx::isWaylandSession(c.session), c.route == CaptureRoute::Portal);
    }
}

TEST(CaptureRoute, APortalAnswerIsToldByItsCause)
{
    using O = zx::PortalOutcome;
    const struct {
        std::optional<unsigned> response;
        const char *error;
        double seconds;
        O outcome;
    } cases[] = {
        { 0u, "", 0.05, O::Picture },
        // A headless KWin without its screenshot service "cancels" in 0.07 s: nobody was asked.
        { 1u, "", 0.07, O::DeclinedAtOnce },
        { 1u, "", 4.0, O::Refused },
        { 2u, "", 0.1, O::Failed },
        { std::nullopt, "", 90.0, O::NoAnswer },
        { std::nullopt, "org.freedesktop.DBus.Error.ServiceUnknown", 0.01, O::NoService },
        { std::nullopt, "org.freedesktop.DBus.Error.NameHasNoOwner", 0.01, O::NoService },
        { std::nullopt, "org.freedesktop.portal.Error.Failed", 0.01, O::Failed },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.error) + " " + std::to_string(c.seconds));
        EXPECT_EQ(zx::portalOutcome(c.response, c.error, c.seconds), c.outcome);
    }
}

TEST(CaptureRoute, SwaysSocketCountsInAWaylandSessionOnly)
{
    EXPECT_EQ(zx::decideDesktop({ "wayland-1", "wayland", "/run/user/1000/sway-ipc.sock" }, true).swaySocket,
        "/run/user/1000/sway-ipc.sock");
    // An X11 session started from a sway terminal inherits the variable; its window manager is not sway.
    EXPECT_EQ(zx::decideDesktop({ "", "x11", "/run/user/1000/sway-ipc.sock" }, true).swaySocket, "");
    EXPECT_EQ(zx::decideDesktop({ "wayland-0", "", "" }, true).swaySocket, "");
}

TEST(CaptureRoute, LabwcByItsNameAmongTheDesktopsOrItsPid)
{
    const struct {
        zx::SessionFacts session;
        bool labwc;
    } cases[] = {
        { { "wayland-0", "wayland", "", "labwc:wlroots", "" }, true },
        { { "wayland-0", "", "", "LXDE-pi:LABWC:wlroots", "" }, true },
        { { "wayland-0", "wayland", "", "", "4242" }, true },
        { { "wayland-0", "wayland", "", "labwcish:wlroots", "" }, false },
        { { "wayland-0", "wayland", "", "sway", "" }, false },
        // An X11 session started from labwc keeps its marks; its window manager is another.
        { { "", "x11", "", "labwc:wlroots", "4242" }, false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.session.currentDesktop + " pid " + c.session.labwcPid + " " + c.session.sessionType);
        EXPECT_EQ(zx::decideDesktop(c.session, true).labwc, c.labwc);
    }
}

TEST(CaptureRoute, CropFindsTheAreaInTheScreensPicture)
{
    const PixelRect screen { 0, 0, 1280, 1024 };
    const struct {
        const char *what;
        PixelRect area;
        PixelRect screen;
        int pictureWidth, pictureHeight;
        zx::ScreenCrop expected;
    } cases[] = {
        { "same scale", { 229, 136, 706, 475 }, screen, 1280, 1024,
            { { 229, 136, 706, 475 }, { 0, 0, 477, 339 } } },
        { "output scaled twice", { 100, 50, 400, 250 }, { 0, 0, 640, 512 }, 1280, 1024,
            { { 200, 100, 800, 500 }, { 0, 0, 300, 200 } } },
        { "output scaled by 1.5", { 101, 33, 200, 100 }, { 0, 0, 640, 512 }, 960, 768,
            { { 152, 50, 300, 150 }, { 0, 0, 99, 67 } } },
        { "partly off the left and top", { -100, -20, 377, 319 }, screen, 1280, 1024,
            { { 0, 0, 377, 319 }, { 100, 20, 477, 339 } } },
        { "partly off the right and bottom", { 1000, 900, 1477, 1239 }, screen, 1280, 1024,
            { { 1000, 900, 1280, 1024 }, { 0, 0, 280, 124 } } },
        { "screen not at the origin", { 1300, 10, 1400, 110 }, { 1280, 0, 2560, 720 }, 1280, 720,
            { { 20, 10, 120, 110 }, { 0, 0, 100, 100 } } },
        { "wholly off the screen", { 2000, 10, 2100, 110 }, screen, 1280, 1024, {} },
        { "empty picture of an empty screen", { 0, 0, 10, 10 }, { 0, 0, 0, 0 }, 0, 0, {} },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const zx::ScreenCrop crop = zx::cropFromScreen(c.area, c.screen, c.pictureWidth, c.pictureHeight);
        EXPECT_EQ(crop.source, c.expected.source);
        EXPECT_EQ(crop.target, c.expected.target);
    }
}

} // namespace
