#pragma once

#include "windowsystem.h"

namespace zx {

// Each returns nothing when the running session is not its window system.
[[nodiscard]] std::unique_ptr<WindowSystem> makeX11WindowSystem();
[[nodiscard]] std::unique_ptr<WindowSystem> makeQtWindowSystem();

// The above state through Qt's own window flag, which both use.
void setAboveThroughQt(QWidget &window, bool above);

} // namespace zx
