// koravelctl follow: radio tracking without a window. The CAT back end is
// connected with omnirig.ini from the config folder, and every parameter
// change of the followed rig, while it is on line, sends the rig's frequency
// to the unit as command 3, by the follow rule the window uses (a change of
// the PTT alone sends nothing). While the rig transmits, the unit's status is
// asked for the transmit-while-moving warning (ctl_follow_warning.h).
#pragma once

#include "ctl_link.h"

namespace ctl {

// Follows rig 1 or 2 until SIGINT or SIGTERM; the link's port must be open.
// Prints one line per frequency sent and one per status change of the rig,
// and the transmit warning's lines. The unit runs under Qt's event loop
// here (the back end's notifications come through it). argc and argv go to
// the event loop's application object.
int RunFollow(Link& link, int rigNumber, int& argc, char** argv);

} // namespace ctl
