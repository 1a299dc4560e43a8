#pragma once

class QWidget;

namespace zx {

// Turns a request to end the program from outside (SIGTERM, SIGINT, SIGHUP on
// POSIX systems) into an ordinary close of the window, so that the settings
// are written as on any other exit.
void closeOnTerminationRequest(QWidget *window);

} // namespace zx
