// The serial devices present on this computer and what they are, from /dev
// and sysfs: USB adapters (ttyUSB*, ttyACM*), on-board UARTs (ttyAMA*, and
// ttyS* with a real port behind them), and whatever udev names under
// /dev/serial/by-id. Every function takes the root folder of the tree to look
// at ("/" on a running system), so that a copy of /dev and /sys serves too.
// Paths given back are under that root.
#pragma once

#include <string>
#include <vector>

namespace koravel {

struct SerialDevice {
    std::string node;        // the device node, e.g. /dev/ttyUSB0
    std::string byId;        // its /dev/serial/by-id name; empty when it has none
    std::string description; // e.g. "FTDI FT232R USB UART (A50285BI)"; may be empty

    // The name to keep for the device: the by-id one when there is one, as it
    // stays the same when the adapter is plugged into another socket.
    const std::string& Path() const { return byId.empty() ? node : byId; }
};

// The devices present, by kind and number (ttyACM0, ttyACM1, ..., ttyS0,
// ..., ttyUSB0, ...; devices known only by their by-id name last).
std::vector<SerialDevice> ListSerialDevices(const std::string& root = "/");

// What a device node is, in words: manufacturer, product and serial number
// of a USB adapter, the UART of an on-board port, else the by-id name made
// readable. Empty when nothing is known (a pseudo-terminal).
std::string DescribeSerialDevice(const std::string& node, const std::string& root = "/");

// Whether a ttyS node has a real port behind it: the 8250 driver makes
// placeholder ttyS devices for ports that are not there (UART type 0).
bool HasSerialHardware(const std::string& kernelName, const std::string& root = "/");

// The by-id name of the device that path leads to, when it has one; else
// path itself.
std::string PreferredDevicePath(const std::string& path, const std::string& root = "/");

} // namespace koravel
