// Why a serial port did not open, in words the operator can act on: which
// device, and what to do about it (join the device's group, close the other
// program, plug the adapter in).
#pragma once

#include <string>

namespace koravel {

enum class OpenFailureKind {
    NoPort,           // the number stands for no port at all (0)
    PermissionDenied, // the user may not use the device
    Busy,             // another program holds it
    NotPluggedIn,     // the device is not there
    NoHardware,       // the device node is there, but no port behind it
    NotSerial,        // what opened is not a serial device
    Other,            // anything else: the system's own words
};

struct OpenFailure {
    int number = 0;
    int error = 0; // the system's error code (LastCommError)
    OpenFailureKind kind = OpenFailureKind::Other;
    std::string device;       // the device COM n stands for (for a link that leads
                              // nowhere: the device the link expects)
    std::string link;         // ports/com<n> when COM n is linked, else empty
    std::string group;        // permission denied: the device's group
    std::string owner;        // permission denied: the device's owner
    bool groupMayUse = false; // the group may read and write the device
    unsigned mode = 0;        // the device's permission bits
};

// Looks at what COM number stood for when opening it failed with error.
OpenFailure ExamineOpenFailure(const std::string& configDir, int number, int error);

// The failure in one or two sentences, e.g.
// "COM3 (/dev/ttyUSB0) does not open: permission denied. The device belongs
// to the group 'dialout': add your user to the group 'dialout' (sudo usermod
// -aG dialout $USER) and log in again."
std::string OpenFailureText(const OpenFailure& failure);

} // namespace koravel
