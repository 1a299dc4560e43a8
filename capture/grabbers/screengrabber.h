#pragma once

#include "captureroute.h"
#include "picture.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QWindow>

#include <functional>
#include <memory>
#include <optional>

namespace zx {

// What a snapshot asks of the screen.
struct GrabRequest {
    QRect area; // screen pixels: the window's frame or its inside
    // The window's inside: the rest of the area is the frame, which shows the
    // caption that was just set.
    QRect inside;
    // Where the camera button was, and how it looked: it was just hidden, and
    // the picture must not be taken before the screen stops showing it.
    QRect buttonSquare;
    HiddenButton button;
    // The title bar in the area and what it showed before the moment went into the caption.
    CaptionBar caption;
    WId window = 0; // the crosshair window, for a dialog the desktop may show
};

struct GrabResult {
    using Outcome = Grab::Outcome;
    Outcome outcome = Outcome::Impossible;
    QImage picture;
    QString problem;
};

// Reads the screen for a snapshot. One implementation per way of reading it;
// makeScreenGrabber() picks the one for the running session.
class ScreenGrabber {
public:
    virtual ~ScreenGrabber() = default;

    // What the screen shows in the area, as large as the area (parts off the
    // screen black). A route that waits for the desktop runs the event loop
    // meanwhile, so the window keeps repainting and takes Esc and close.
    [[nodiscard]] virtual GrabResult grab(const GrabRequest &request) = 0;

    // A few pixels as the screen shows them now; empty where it cannot be read so.
    [[nodiscard]] virtual ScreenPixels readPixels(const QRect &area) { Q_UNUSED(area) return {}; }

    // For the star offset, a grabber that cannot read pixels at once keeps a
    // live view of the screen; nullopt: readPixels() serves.
    [[nodiscard]] virtual std::optional<ScreenWatch> watchPixels(const QRect &area, WId window)
    {
        Q_UNUSED(area) Q_UNUSED(window) return std::nullopt;
    }
    virtual void stopWatching() { }

    // A snapshot begins: the window is about to hide its button and change
    // its caption, then grab() follows. A grabber that can see the screen
    // change starts watching it here.
    virtual void prepare(WId window) { Q_UNUSED(window) }

    // Ends a grab that is waiting for the desktop; it gives Cancelled. Also
    // ends what prepare() began when the snapshot stops before its grab.
    virtual void cancel() { }
};

// The one for the desktop. syncDisplay waits until the display server has
// carried out every request sent so far (the new window shape, the new caption).
[[nodiscard]] std::unique_ptr<ScreenGrabber> makeScreenGrabber(
    const Desktop &desktop, std::function<void()> syncDisplay);

// The part of a picture of the whole screen (all screens) that shows `area`,
// as large as `area`: the screen's picture may be scaled, parts off the screen
// are black.
[[nodiscard]] QImage cropScreenPicture(const QImage &screenPicture, const QRect &screen, const QRect &area);

// A picture's pixels as the settle rules compare them.
[[nodiscard]] ScreenPixels screenPixels(const QImage &picture);

} // namespace zx
