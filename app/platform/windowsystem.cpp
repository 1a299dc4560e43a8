// The one place that picks the window system's implementation.
#include "windowsystem_backends.h"

#include <QGuiApplication>

namespace zx {

std::unique_ptr<WindowSystem> makeWindowSystem()
{
#if defined(ZX_HAVE_X11)
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        if (auto x11 = makeX11WindowSystem())
            return x11;
    }
#endif
    return makeQtWindowSystem();
}

} // namespace zx
