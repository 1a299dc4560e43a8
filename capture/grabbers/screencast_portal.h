#pragma once

#include "picture.h"

#include <QRect>

#include <memory>

namespace zx {

// A live view of the screen on Wayland desktops: the desktop portal's screen
// cast, whose pictures come through PipeWire. The desktop asks the user once,
// on the first look(); the view lasts until stop().
class PortalScreenCast {
public:
    PortalScreenCast();
    ~PortalScreenCast();
    PortalScreenCast(const PortalScreenCast &) = delete;
    PortalScreenCast &operator=(const PortalScreenCast &) = delete;

    // What the screen shows in `area` (Xwayland's root pixels) in the newest
    // picture of the cast; Starting while the desktop is asked or before its
    // first picture. The parent names the window a dialog of the desktop
    // belongs to ("x11:<id>"), or is empty.
    [[nodiscard]] ScreenWatch look(const QRect &area, const QString &parent);

    // Ends the cast; the next look() asks anew.
    void stop();

private:
    class Session;
    std::unique_ptr<Session> m_session;
};

} // namespace zx
