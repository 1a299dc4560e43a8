#pragma once

#include "windowsystem.h"

#include <string>

class QByteArray;
class QString;

namespace zx {

// Each returns nothing when the running session is not its window system.
[[nodiscard]] std::unique_ptr<WindowSystem> makeX11WindowSystem();
[[nodiscard]] std::unique_ptr<WindowSystem> makeQtWindowSystem();
// The X11 one, with positions asked of sway over its IPC socket.
[[nodiscard]] std::unique_ptr<WindowSystem> makeSwayWindowSystem(
    std::unique_ptr<WindowSystem> x11, const std::string &socketPath);

// The X11 one under labwc, which keeps the window on top by a rule of its own.
[[nodiscard]] std::unique_ptr<WindowSystem> makeLabwcWindowSystem(std::unique_ptr<WindowSystem> x11);
// Whether labwc's rc.xml, as given, has a window rule that keeps the windows
// of the X11 class windowClass on top.
[[nodiscard]] bool labwcRuleKeepsOnTop(const QByteArray &rcXml, const QString &windowClass);
// The above state through Qt's own window flag, which both use.
void setAboveThroughQt(QWidget &window, bool above);

} // namespace zx
