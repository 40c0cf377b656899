// koravelctl follow: radio tracking without a window. The CAT back end is
// connected with omnirig.ini from the config folder, and every parameter
// change of the followed rig, while it is on line, sends the rig's frequency
// to the unit as command 3, as the window's tracking does.
#pragma once

namespace ctl {

// Follows rig 1 or 2 until SIGINT or SIGTERM; the unit's port must be open.
// Prints one line per frequency sent and one per status change of the rig.
// argc and argv go to the event loop's application object.
int RunFollow(int rigNumber, int& argc, char** argv);

} // namespace ctl
