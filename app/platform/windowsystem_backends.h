#pragma once

#include "windowsystem.h"

#include <string>

namespace zx {

// Each returns nothing when the running session is not its window system.
[[nodiscard]] std::unique_ptr<WindowSystem> makeX11WindowSystem();
[[nodiscard]] std::unique_ptr<WindowSystem> makeQtWindowSystem();
// The X11 one, with positions asked of sway over its IPC socket.
[[nodiscard]] std::unique_ptr<WindowSystem> makeSwayWindowSystem(
    std::unique_ptr<WindowSystem> x11, const std::string &socketPath);

// The above state through Qt's own window flag, which both use.
void setAboveThroughQt(QWidget &window, bool above);

} // namespace zx
