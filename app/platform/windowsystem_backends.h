#pragma once

#include "windowsystem.h"

namespace zx {

// Each returns nothing when the running session is not its window system.
[[nodiscard]] std::unique_ptr<WindowSystem> makeX11WindowSystem();
[[nodiscard]] std::unique_ptr<WindowSystem> makeQtWindowSystem();

} // namespace zx
