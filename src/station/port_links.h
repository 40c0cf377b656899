// The port links: ports/com<n> in the config folder says what serial port n
// stands for. A link whose target is a device path (preferably a
// /dev/serial/by-id name, which survives replugging) makes COM n that device;
// a link whose text is "tcp://HOST:PORT" makes it a network port, a raw TCP
// connection to a serial server (ser2net) beside the unit, as Wine's
// dosdevices keep names (readlink gives the text back, ls -l shows it);
// without a link, COM n is /dev/ttyS<n-1>.
//
// A link's target is kept as text (PortLink::target) and told apart by
// PortTargetKind; links of both kinds are stored, listed and removed alike.
#pragma once

#include "station/serial_devices.h"
#include "transport/network_address.h"

#include <optional>
#include <string>
#include <vector>

namespace koravel {

// Port numbers that a link may carry.
inline constexpr int kFirstPortNumber = 1;
inline constexpr int kLastPortNumber = 255;

// What kind of port a link's target names.
enum class PortTargetKind {
    Device,  // a path to a character device, e.g. /dev/serial/by-id/usb-...
    Network, // tcp://HOST:PORT
};
PortTargetKind KindOfTarget(const std::string& target);

struct PortLink {
    int number = 0;
    std::string path;    // <config folder>/ports/com<n>
    bool isLink = false; // false: something that is not a link stands there
    std::string target;  // the link's text; empty when it is not a link
};

// <config folder>/ports and <config folder>/ports/com<n>.
std::string PortsDir(const std::string& configDir);
std::string PortLinkPath(const std::string& configDir, int number);

// Every com<n> in the ports folder (n from 1 to 255), by number.
std::vector<PortLink> ReadPortLinks(const std::string& configDir);
// com<n>, when something stands there.
std::optional<PortLink> ReadPortLink(const std::string& configDir, int number);

// Links COM n to target, replacing a link that is there (never anything
// else), creating the config and ports folders when needed. A device target
// must exist and be a character device; a relative path is taken from the
// current folder. A network target must be a well-formed tcp://HOST:PORT
// (the host is not looked up). False with the reason in error.
bool SetPortLink(const std::string& configDir, int number, const std::string& target,
                 std::string& error);
// Removes the link of COM n. Refuses when there is none, or when what stands
// there is not a symbolic link. False with the reason in error.
bool ClearPortLink(const std::string& configDir, int number, std::string& error);

// What COM n stands for, for menus and lists.
struct PortView {
    int number = 0;
    std::optional<PortLink> link;
    // The device COM n opens: the node the link leads to (/dev/ttyUSB0 for a
    // by-id link), the link's own text when it leads nowhere, or
    // /dev/ttyS<n-1> without a link. For a network port its address
    // (tcp://HOST:PORT).
    std::string device;
    // The device is there (a ttyS without a link: with a real port behind it).
    // A network port counts as there: it is reached only when it is opened.
    bool present = false;
    std::optional<NetworkAddress> network; // COM n is a network port
    std::string description;               // what the device is, when known
};
// devices: the serial devices present (ListSerialDevices), which give the
// node and description of a device reached through one of its names; root:
// the tree that holds /dev ("/" when running).
PortView ViewPort(const std::string& configDir, int number,
                  const std::vector<SerialDevice>& devices, const std::string& root = "/");
// The same, listing the devices first.
PortView ViewPort(const std::string& configDir, int number, const std::string& root = "/");

// "COM3  /dev/ttyUSB0  FTDI FT232R USB UART (A50285BI)" for a port that
// stands for a device, "COM6  tcp://shack-pi:3001" for a network port, plain
// "COM5" for one that stands for nothing there.
std::string PortSummary(const PortView& view);

} // namespace koravel
