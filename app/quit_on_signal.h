// Closing the window when the session or a service manager asks the process to stop (SIGTERM,
// SIGINT, SIGHUP), so the board is released and the program exits with status 0 instead of
// being killed mid-exchange.
#pragma once

class QWidget;

namespace rotorix::app {

// Routes the stop signals to window->close() through the event loop. Safe to call once per
// process; does nothing on systems without POSIX signals.
void closeOnStopSignals(QWidget* window);

}  // namespace rotorix::app
