// Why a serial port did not open, in words the operator can act on: which
// device, and what to do about it (join the device's group, close the other
// program, plug the adapter in). For a network port: which server, and why
// it could not be reached or turned the connection away.
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
    BadAddress,       // a network port's link is no tcp://HOST:PORT
    HostNotFound,     // a network port's host name does not resolve
    CannotConnect,    // a network port's server cannot be reached
    TurnedAway,       // a network port's server turned the connection away
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
    bool network = false;     // COM n is a network port (device: its tcp:// text)
    std::string address;      // a network port's "HOST:PORT"
    std::string serverText;   // what its server said when it turned the connection away
};

// Looks at what COM number stood for when opening it failed with error.
// serverText: what a network port's server said (Port::ServerText()).
OpenFailure ExamineOpenFailure(const std::string& configDir, int number, int error,
                               const std::string& serverText = {});

// The failure in one or two sentences, e.g.
// "COM3 (/dev/ttyUSB0) does not open: permission denied. The device belongs
// to the group 'dialout': add your user to the group 'dialout' (sudo usermod
// -aG dialout $USER) and log in again."
std::string OpenFailureText(const OpenFailure& failure);

// A network port's connection error in a few words: "connection refused",
// "host not found", "connection timed out (no answer within 3 s)", ...
std::string NetworkErrorWords(int error);

// An open network port whose connection is down, for the status bar:
// "COM6 (tcp://shack-pi:3001): connection lost: connection refused; trying
// again every 2 s." (error and serverText as Port::Network gives
// them).
std::string ConnectionDownText(int number, const std::string& address, int error,
                               const std::string& serverText);

} // namespace koravel
