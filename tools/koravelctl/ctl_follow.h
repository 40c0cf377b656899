// koravelctl follow: radio tracking without a window. The CAT back end is
// connected with omnirig.ini from the config folder, and every parameter
// change of the followed rig, while it is on line, sends the rig's frequency
// to the unit as command 3, by the follow rule the window uses (a change of
// the PTT alone sends nothing). While the rig transmits, the unit's status is
// asked for the transmit-while-moving warning (ctl_follow_warning.h).
#pragma once

#include "ctl_link.h"

#include <string>

namespace ctl {

struct FollowOptions {
    int rigNumber = 1;
    // A source for this run instead of omnirig.ini's ("radioinfo[:PORT]",
    // "wsjtx[:PORT]", "hamlib"); empty: omnirig.ini's.
    std::string source;
    bool json = false; // JSON lines (ctl_follow_output.h)
};

// Checks options.source before any port is opened: false, with the reason
// on stderr, when it is no source.
bool CheckFollowSource(const std::string& source);

// Follows the rig until SIGINT or SIGTERM; the link's port must be open.
// Prints one line per frequency sent and one per status change of the rig,
// and the transmit warning's lines. The unit runs under Qt's event loop
// here (the back end's notifications come through it). argc and argv go to
// the event loop's application object.
int RunFollow(Link& link, const FollowOptions& options, int& argc, char** argv);

} // namespace ctl
