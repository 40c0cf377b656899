// The operations of one kind of port, as a transport backend offers them: a
// table of functions over the port's state, one table for local serial
// devices and one for network serial ports. Port (port.h) does what both
// kinds share (closing first, the free-room check, the short-write code, the
// status snapshot) and calls the table for the rest. Inside the transport
// layer only.
#pragma once

#include "transport/port.h"

#include <memory>
#include <string>

namespace transport {

class NetworkConnection;

// What a port's kind works on.
struct PortState {
    explicit PortState(const SystemCalls& calls);
    ~PortState();
    PortState(const PortState&) = delete;
    PortState& operator=(const PortState&) = delete;

    const SystemCalls& sys;
    Handle handle = kNoHandle; // the open device or socket, or none
    // A device that hung up (unplugged): nothing comes until it is reopened,
    // and an event loop has nothing to watch.
    bool hungUp = false;
    // A network port's connection; null for a local device.
    std::unique_ptr<NetworkConnection> network;
};

struct PortOps {
    // Opens target: a device path, or a network address ("tcp://HOST:PORT").
    // 0 with state.handle set, else the error code.
    std::int32_t (*open)(PortState& state, const std::string& target);
    // Writes the line settings and discards both queues; 0 or the error.
    std::int32_t (*configure)(PortState& state, const LineSettings& line);
    // Releases what open took; 0 or the error (errno for a port not open).
    std::int32_t (*close)(PortState& state);
    // Received bytes that Read can take; false when the query fails.
    bool (*inputCount)(PortState& state, std::uint32_t& count);
    // Bytes not yet gone; false when the query fails.
    bool (*outputCount)(PortState& state, std::uint32_t& count);
    // Takes up to size received bytes; the count taken (0 when none).
    std::size_t (*read)(PortState& state, std::uint8_t* buffer, std::size_t size);
    // Writes what it can of bytes: the count taken, or -1 with errno.
    ssize_t (*write)(PortState& state, koravel::ByteView bytes);
    // Waits until bytes are waiting or ms pass; true when bytes are waiting.
    bool (*waitForInput)(PortState& state, int ms);
    // The descriptor to watch for input, or kNoHandle.
    Handle (*inputFd)(const PortState& state);
    // Upkeep between calls (a network port's reconnection); may be null.
    void (*service)(PortState& state);
};

// The two kinds.
const PortOps& DeviceOps();
const PortOps& NetworkOps();

} // namespace transport
