// The operations of one kind of port, as a transport backend offers them: a
// table of functions over the port object, one table for local serial
// devices and one for network serial ports. The serial layer's procedures
// (comm32.h) do what both kinds share (closing first, the free-room check,
// the short-write code, the status snapshot) and call the table for the rest.
// Inside the serial layer only.
#pragma once

#include "transport/comm32.h"

#include <string>

namespace comm32 {

// The line settings ConfigurePort is given.
struct LineSettings {
    std::uint32_t baud = 19200;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
    char flow = 'N';
};

struct PortOps {
    // Opens target: a device path, or a network address ("tcp://HOST:PORT").
    // 0 with port.handle set, else the error code.
    std::int32_t (*open)(Port& port, const std::string& target);
    // Writes the line settings and discards both queues; 0 or the error.
    std::int32_t (*configure)(Port& port, const LineSettings& line);
    // Releases what open took; 0 or the error (errno for a port not open).
    std::int32_t (*close)(Port& port);
    // Received bytes that ReadByte can take; false when the query fails.
    bool (*inputCount)(Port& port, std::uint32_t& count);
    // Bytes not yet gone; false when the query fails.
    bool (*outputCount)(Port& port, std::uint32_t& count);
    // Takes one received byte; false when none was read.
    bool (*readByte)(Port& port, std::uint8_t& byte);
    // Writes what it can of bytes: the count taken, or -1 with errno.
    ssize_t (*write)(Port& port, koravel::ByteView bytes);
    // Waits until bytes are waiting or ms pass; true when bytes are waiting.
    bool (*waitForInput)(Port& port, int ms);
    // Upkeep between calls (a network port's reconnection); may be null.
    void (*service)(Port& port);
};

// The two kinds.
const PortOps& DeviceOps();
const PortOps& NetworkOps();

} // namespace comm32
