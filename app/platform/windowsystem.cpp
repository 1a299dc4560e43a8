// The one place that picks the window system's implementation.
#include "windowsystem_backends.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace zx {

std::unique_ptr<WindowSystem> makeWindowSystem(const Desktop &desktop)
{
    if (desktop.x11Window) {
        if (auto x11 = makeX11WindowSystem()) {
            // sway keeps a floating X11 window where it put it: it is moved through sway itself.
            if (!desktop.swaySocket.empty())
                return makeSwayWindowSystem(std::move(x11), desktop.swaySocket);
            if (desktop.labwc)
                return makeLabwcWindowSystem(std::move(x11));
            return x11;
        }
    }
    return makeQtWindowSystem();
}

void setAboveThroughQt(QWidget &window, bool above)
{
    QWindow *w = window.windowHandle();
    if (w == nullptr) {
        window.setWindowFlag(Qt::WindowStaysOnTopHint, above);
        return;
    }
    // Changing the flag on the native window keeps it mapped and in place;
    // QWidget::setWindowFlags would re-create it.
    if (w->flags().testFlag(Qt::WindowStaysOnTopHint) != above)
        w->setFlag(Qt::WindowStaysOnTopHint, above);
    if (above && window.isVisible())
        w->raise();
}

} // namespace zx
