// Platforms without X11: shapes and screen reads need no extra care here.
#include "platform.h"

namespace zx::platform {

bool setEmptyShape(QWindow *)
{
    return false;
}

void syncWithDisplay() { }

} // namespace zx::platform
