// A followed rig's state in the window's language: its status, how long a
// datagram source has been quiet, and what it heard. The CAT back end finds
// them (cat/rig_state.h: the status values, DatagramSilence,
// DatagramCounts); these are its words for the operator, for the status bar
// and the rig settings dialog alike. Hamlib's own reasons stay as Hamlib
// says them; koravelctl and the station server keep the back end's English.
#pragma once

#include <QString>

class TOmniRigX;

namespace koravel {

// "not responding", "port /dev/ttyUSB0 not available: rigctld should listen
// there", ...; a datagram rig that went quiet: "not heard for 5 s".
QString RigStatusWords(TOmniRigX& client, int rigNumber);

// The same with the reason that a Hamlib rig's source gives, for the rig
// settings dialog.
QString RigStatusWithReason(TOmniRigX& client, int rigNumber);

// What a datagram rig heard on its port: datagrams, malformed ones, a
// receive error. Empty for a Hamlib rig.
QString RigSourceNotes(const TOmniRigX& client, int rigNumber);

} // namespace koravel
