// The serial layer: one port at a time, opened by port number, set to fixed
// line settings, read one byte at a time without waiting, written a frame at
// a time, and waited on until bytes arrive. Plain procedures over one port
// object.
//
// A port is of one of two kinds, each behind a small table of operations
// (PortOps): a local serial device (a tty), or a network serial port, a raw
// TCP connection to a serial server such as ser2net that sets the line at the
// remote end. The procedures below are the same for both; callers never ask
// which kind they hold, except to show the state of a network connection.
#pragma once

#include "protocol/bytes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <termios.h>

namespace comm32 {

using Handle = int;
constexpr Handle kNoHandle = -1;

// LastCommError for a write that sent fewer bytes than asked.
constexpr std::int32_t kShortWrite = -5;
// Size given to the driver's queues, and the transmit-queue size used when the
// driver reports none (a Linux tty has no such query).
constexpr std::uint16_t kQueueSize = 2048;

// The driver's communications status as last queried.
struct CommStatus {
    std::uint32_t errors = 0;
    std::uint16_t inQue = 0;
    std::uint16_t outQue = 0;
};

struct PortOps;
class NetworkConnection;

// The layer's state, one instance (ThePort) for the whole program.
struct Port {
    Port();
    ~Port();
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    Handle handle = kNoHandle;  // the open device or socket, or none
    std::int32_t lastError = 0; // result of the last open, configure, close or write
    std::uint16_t txQueueSize = 0;
    CommStatus status;
    // The operations of the port's kind; a port that was never opened is a
    // local device's (its close records the system's error).
    const PortOps* ops;
    // A network port's connection; null for a local device.
    std::unique_ptr<NetworkConnection> network;
};
extern Port ThePort;

// The port's state under the layer's long-standing names.
extern Handle& PortHandle;
extern std::int32_t& LastCommError;
extern std::uint16_t& TxQueueSize;
extern CommStatus& StatusSnapshot;

// Opens "bio<n>" (prefix compared without regard to case): what ports/com<n>
// stands for. Closes an open port first. Returns LastCommError.
//
// A network port is connected before this returns: at most 3 s for the
// connection, then a while (250 ms and twice the time the connection took,
// at most 1 s) in which a serial server that turns the connection away says
// so. Errors of a network
// port: errno values (ECONNREFUSED, EHOSTUNREACH, ETIMEDOUT, ...), EBUSY when
// the server's port is held by another client, EREMOTEIO when the server
// turned the connection away for another reason (ServerText says what it
// said), and the resolver's code (see kHostNotFound) when the host name
// does not resolve.
std::int32_t OpenPort(const std::string& name);
// Writes the line settings. Parity letter E/O/N/M/S, flow letter N/H/X/B. A
// network port has none to write (the server sets the line); both kinds
// discard what waits in their queues.
std::int32_t ConfigurePort(std::uint32_t baud, char parity, int dataBits, int stopBits, char flow);
// Closes the port. Returns LastCommError; PortHandle becomes none in any case.
std::int32_t ClosePort();
// Received bytes waiting, or 0 when the query fails.
std::uint16_t InputCount();
// Bytes still waiting to go out; the previous snapshot's count when the query fails.
std::uint16_t OutputCount();
// Delivers one byte when one is waiting; never waits.
bool ReadByte(std::uint8_t& byte);
// Writes the whole string when it fits in the free room of the output queue,
// else nothing. Blocks until the driver has taken the bytes: one write call
// when the driver takes them all at once. A network port whose connection
// is down takes nothing (LastCommError ENOTCONN).
void WriteText(koravel::ByteView bytes);
// Waits until received bytes are waiting or ms milliseconds have passed,
// whichever comes first; true when bytes are waiting. Returns early only for
// bytes that ReadByte can take: a device that signals without any (hung up,
// in error) is waited out. With no port open it sleeps ms.
bool WaitForInput(int ms);

// The device path that a port name stands for: ports/com<n> in the config
// folder when that exists, else /dev/ttyS<n-1>. Empty when the name is not
// "bio" followed by a decimal number.
std::string ResolvePortPath(const std::string& name);

// --- Network ports -------------------------------------------------------

// LastCommError when a network port's host name does not resolve: the
// resolver's EAI_NONAME (-2, "Name or service not known"). Other resolver
// failures keep their own EAI_ codes (negative, see getaddrinfo(3) and
// gai_strerror), except EAI_NODATA, which is given as kHostNotFound so that
// no code meets kShortWrite, and EAI_SYSTEM, which gives its errno.
constexpr std::int32_t kHostNotFound = -2;
// A dropped connection is tried again this often, for as long as the port
// stays open.
constexpr int kReconnectMs = 2000;
// Longest time a connection attempt may take.
constexpr int kConnectTimeoutMs = 3000;

// How a network port's connection stands.
struct NetworkState {
    std::string address; // "shack-pi:3001"
    bool connected = false;
    // Why it is not connected: the error of the drop or of the last
    // attempt (as LastCommError gives them); 0 while connected.
    std::int32_t error = 0;
    // What the serial server said when it turned the connection away.
    std::string serverText;
};
// The open port's connection; nullopt for a local device or no port.
std::optional<NetworkState> NetworkPortState();
// What the serial server said when it last turned a connection away (the
// open's included); empty when it said nothing.
std::string ServerText();
// Lets a network port notice a dropped connection and reconnect when it is
// due. Every procedure above does this on its own; a program that may leave
// the port alone for a while (a rig follower between sends) calls it now and
// then. Nothing for a local device.
void ServicePort();

// --- The system-call seam of local devices --------------------------------

// The operating-system calls the device kind makes. Tests replace entries to
// play driver behaviours that a pseudo-terminal cannot show.
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
extern SystemCalls Sys;
// The real calls.
SystemCalls RealSystemCalls();

} // namespace comm32
