#pragma once

#include "captureroute.h"

#include <QRect>
#include <QRegion>

#include <memory>
#include <string>

class QWidget;

namespace zx {

// A top-level window as the window system reports it now, in screen pixels:
// after the window manager has placed, constrained or moved it.
struct WindowPlace {
    QRect outer; // frame and title bar included
    QRect inside; // the client area

    [[nodiscard]] QMargins frame() const
    {
        return { inside.left() - outer.left(), inside.top() - outer.top(), outer.right() - inside.right(),
            outer.bottom() - inside.bottom() };
    }
};

// What the crosshair window needs of the window system beyond what Qt's
// widgets offer. One implementation per window system; makeWindowSystem()
// picks the one for the running session.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Called once, before the window is first shown. Where a compositor draws
    // windows with their alpha, the window is made translucent, so that its
    // see-through parts show what lies below even where a shape is not drawn;
    // where the window manager keeps no "above" state, the window is made a
    // kind it lets float above the others.
    virtual void prepare(QWidget &window) = 0;

    // Whether prepare() made the window translucent: its see-through parts
    // must then be painted fully transparent.
    [[nodiscard]] virtual bool translucent() const = 0;

    // Keeps the window above all others, or lets it go back among them.
    virtual void setAbove(QWidget &window, bool above) = 0;
    // What keeps the window from staying above the others here, for the
    // user, with what to do about it; empty when nothing does.
    [[nodiscard]] virtual std::string whyNotOnTop(const QWidget &window) const = 0;
    // Whether the window system can itself do what whyNotOnTop() asks of the
    // user (a desktop's setting it may change), so that the message can offer
    // it as a question: never without the user's consent.
    [[nodiscard]] virtual bool canKeepOnTopItself() const = 0;
    // Does it, with the user's consent, and keeps the window on top from now
    // on; what went wrong, for the user, or empty.
    virtual std::string keepOnTopItself(QWidget &window) = 0;

    // The frame the program draws itself, as margins inside the window: its
    // title bar with the caption and a close box, and borders, from which
    // the window manager moves and sizes the window. None where the window
    // manager frames the window.
    [[nodiscard]] virtual QMargins ownFrame(const QWidget &window) const = 0;

    // Where the window really is now; never what was last asked for.
    [[nodiscard]] virtual WindowPlace place(const QWidget &window) const = 0;

    // Asks for new outer bounds and waits until the window manager has
    // answered, so that the next place() sees the outcome, whatever it is.
    virtual void requestPlace(QWidget &window, const QRect &outer) = 0;

    // The parts of the inside (widget coordinates) that show and take clicks;
    // the rest shows and passes clicks to what lies below. May be empty.
    virtual void setShape(QWidget &window, const QRegion &opaque) = 0;

    // Waits until the display has carried out every request sent so far.
    virtual void sync() = 0;
};

// The one for the desktop: the X11 one for an X11 window, else Qt's own.
[[nodiscard]] std::unique_ptr<WindowSystem> makeWindowSystem(const Desktop &desktop);

} // namespace zx
