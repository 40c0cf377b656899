// Ending the program by a signal the way a user's close does: SIGTERM, SIGINT
// and SIGHUP close the window (which saves the settings) and leave the event
// loop, instead of killing the process with the settings unsaved.
#pragma once

class QWidget;

namespace koravel {

// Installs the handlers for the rest of the run. The signal itself only
// writes a byte to a pipe; the window is closed later, on the window's thread,
// from the event loop. A second signal of the same kind ends the program at
// once, for a program that no longer answers. False when the pipe or the
// handlers cannot be set up (the program then runs without them).
bool CloseOnSignals(QWidget& window);

} // namespace koravel
