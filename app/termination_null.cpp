// Platforms without POSIX signals end programs by closing their windows.
#include "termination.h"

namespace zx {

void closeOnTerminationRequest(QWidget *) { }

} // namespace zx
