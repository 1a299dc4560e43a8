#pragma once

class QWindow;

namespace zx::platform {

// Gives a window an empty shape: nothing of it shows and every click passes
// through. Returns false where the platform cannot, and the caller falls back.
bool setEmptyShape(QWindow *window);

// Waits until the display server has carried out every request sent so far,
// so that a new window shape is in force before the screen is read.
void syncWithDisplay();

} // namespace zx::platform
