// One port to a control unit: opened by its target (a device path, or
// tcp://HOST:PORT for a serial server), set to the unit's line settings, read
// without waiting, written a frame at a time, and watched by an event loop
// through its descriptor.
//
// A port is of one of two kinds, each behind a small table of operations
// (PortOps, port_ops.h): a local serial device (a tty), or a network serial
// port, a raw TCP connection to a serial server such as ser2net that sets the
// line at the remote end. Callers never ask which kind they hold, except to
// show the state of a network connection.
//
// Every port keeps its own state; a process may hold as many as it likes.
// Errors are values: each operation records its result in LastError() (0 or
// the system's error code, kShortWrite for a write that sent fewer bytes than
// asked) and returns it.
#pragma once

#include "protocol/bytes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <termios.h>

namespace transport {

using Handle = int;
constexpr Handle kNoHandle = -1;

// LastError for a write that sent fewer bytes than asked.
constexpr std::int32_t kShortWrite = -5;
// Size given to the driver's queues, and the transmit-queue size used when the
// driver reports none (a Linux tty has no such query).
constexpr std::uint16_t kQueueSize = 2048;

// LastError when a network port's host name does not resolve: the
// resolver's EAI_NONAME (-2, "Name or service not known"). Other resolver
// failures keep their own EAI_ codes (negative, see getaddrinfo(3) and
// gai_strerror), except EAI_NODATA, which is given as kHostNotFound so that
// no code meets kShortWrite, and EAI_SYSTEM, which gives its errno.
constexpr std::int32_t kHostNotFound = -2;
// A dropped network connection is tried again this often, for as long as
// the port stays open.
constexpr int kReconnectMs = 2000;
// Longest time a network connection attempt may take.
constexpr int kConnectTimeoutMs = 3000;

// The line settings: parity letter E/O/N/M/S, flow letter N/H/X/B. The
// defaults are the control unit's line: 19200 baud, 8 data bits, no parity,
// 1 stop bit, no flow control.
struct LineSettings {
    std::uint32_t baud = 19200;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
    char flow = 'N';
};

// The driver's communications status as last queried.
struct CommStatus {
    std::uint32_t errors = 0;
    std::uint16_t inQue = 0;
    std::uint16_t outQue = 0;
};

// How a network port's connection stands.
struct NetworkState {
    std::string address; // "shack-pi:3001"
    bool connected = false;
    // Why it is not connected: the error of the drop or of the last attempt
    // (as LastError gives them); 0 while connected.
    std::int32_t error = 0;
    // What the serial server said when it turned the connection away.
    std::string serverText;
};

// The operating-system calls the device kind makes. Tests give a port their
// own table to play driver behaviours that a pseudo-terminal cannot show.
struct SystemCalls {
    int (*open)(const char* path, int flags);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void* buf, size_t count);
    ssize_t (*write)(int fd, const void* buf, size_t count);
    // ioctl with an int argument: TIOCEXCL, FIONREAD, TIOCOUTQ, TIOCMBIS.
    int (*ioctl)(int fd, unsigned long request, int* arg);
    int (*flock)(int fd, int operation);
    int (*fcntl)(int fd, int cmd, int arg);
    int (*tcgetattr)(int fd, struct termios* t);
    int (*tcsetattr)(int fd, int action, const struct termios* t);
    int (*tcflush)(int fd, int queue);
    // The driver's current transmit-queue size; 0 when it reports none.
    std::uint16_t (*txQueueSize)(int fd);
    int (*poll)(struct pollfd* fds, nfds_t count, int timeoutMs);
};
// The real calls.
const SystemCalls& RealSystemCalls();

struct PortOps;
struct PortState;

class Port {
public:
    explicit Port(const SystemCalls& sys = RealSystemCalls());
    ~Port();
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Opens target: a device path, or "tcp://HOST:PORT" (koravel's network
    // address). Closes an open port first. A device is opened exclusively
    // (no second opener); a network port is connected before this returns:
    // at most 3 s for the connection, then a while (250 ms and twice the
    // time the connection took, at most 1 s) in which a serial server that
    // turns the connection away says so. Errors of a network port: errno
    // values (ECONNREFUSED, EHOSTUNREACH, ETIMEDOUT, ...), EBUSY when the
    // server's port is held by another client, EREMOTEIO when the server
    // turned the connection away for another reason (ServerText says what it
    // said), and the resolver's code (see kHostNotFound) when the host name
    // does not resolve.
    std::int32_t Open(const std::string& target);
    // Writes the line settings (a network port has none to write: the
    // server sets the line); both kinds discard what waits in their queues.
    std::int32_t Configure(const LineSettings& line = {});
    // Closes the port; the handle is none afterwards in any case.
    std::int32_t Close();

    bool IsOpen() const;
    Handle handle() const;
    std::int32_t LastError() const { return lastError_; }
    std::uint16_t TxQueueSize() const { return txQueueSize_; }
    const CommStatus& Status() const { return status_; }

    // Received bytes waiting, or 0 when the query fails.
    std::uint16_t InputCount();
    // Bytes still waiting to go out; the previous snapshot's count when the
    // query fails.
    std::uint16_t OutputCount();
    // Delivers one byte when one is waiting; never waits.
    bool ReadByte(std::uint8_t& byte);
    // Takes up to size received bytes that are waiting; never waits.
    std::size_t Read(std::uint8_t* buffer, std::size_t size);
    // Writes the whole string when it fits in the free room of the output
    // queue, else nothing (LastError left as it was). Blocks until the
    // driver has taken the bytes: one write call when the driver takes them
    // all at once. A network port whose connection is down takes nothing
    // (LastError ENOTCONN).
    void Write(koravel::ByteView bytes);
    // Waits until received bytes are waiting or ms milliseconds have
    // passed; true when bytes are waiting. Returns early only for bytes that
    // Read can take: a device that signals without any (hung up, in error)
    // is waited out. With no port open it sleeps ms.
    bool WaitForInput(int ms);

    // For an event loop: the descriptor that becomes readable when bytes
    // arrive; kNoHandle when there is nothing to watch (no port, a network
    // connection that is down, a device that hung up). It may change after
    // any call on the port.
    Handle InputFd() const;
    // Upkeep between calls: a network port notices a dropped connection
    // and reconnects when it is due. Nothing for a local device.
    void Service();

    // The open port's network connection; nullopt for a local device or no port.
    std::optional<NetworkState> Network() const;
    // What a serial server said when it last turned this port's connection
    // away (the open's included); empty when it said nothing.
    std::string ServerText() const;

private:
    // Back to closed, as a local device's (whose close records the system's
    // error).
    void Forget();

    // What the kind's operations work on (port_ops.h).
    std::unique_ptr<PortState> state_;
    const PortOps* ops_;
    std::int32_t lastError_ = 0;
    std::uint16_t txQueueSize_ = 0;
    CommStatus status_;
    std::string serverText_;
};

} // namespace transport
