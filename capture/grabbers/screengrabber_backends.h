#pragma once

#include "screengrabber.h"

namespace zx {

[[nodiscard]] std::unique_ptr<ScreenGrabber> makeX11ScreenGrabber(std::function<void()> syncDisplay);
[[nodiscard]] std::unique_ptr<ScreenGrabber> makePortalScreenGrabber(bool x11Window);

} // namespace zx
