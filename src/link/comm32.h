// The serial layer: one serial device at a time, opened by port number, set
// to fixed line settings, read one byte at a time without waiting, written a
// frame at a time, and waited on until bytes arrive. Plain procedures over
// module state.
#pragma once

#include "link/bytes.h"

#include <cstdint>
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

// Module state, one instance for the whole program.
extern Handle PortHandle;
extern std::int32_t LastCommError;
extern std::uint16_t TxQueueSize;
extern CommStatus StatusSnapshot;

// Opens "bio<n>" (prefix compared without regard to case). Closes an open port
// first. Returns LastCommError.
std::int32_t OpenPort(const std::string& name);
// Writes the line settings. Parity letter E/O/N/M/S, flow letter N/H/X/B.
std::int32_t ConfigurePort(std::uint32_t baud, char parity, int dataBits, int stopBits, char flow);
// Closes the device. Returns LastCommError; PortHandle becomes none in any case.
std::int32_t ClosePort();
// Received bytes waiting, or 0 when the query fails.
std::uint16_t InputCount();
// Bytes still waiting to go out; the previous snapshot's count when the query fails.
std::uint16_t OutputCount();
// Delivers one byte when one is waiting; never waits.
bool ReadByte(std::uint8_t& byte);
// Writes the whole string when it fits in the free room of the output queue,
// else nothing. Blocks until the driver has taken the bytes: one write call
// when the driver takes them all at once.
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

// The operating-system calls the layer makes. Tests replace entries to play
// driver behaviours that a pseudo-terminal cannot show.
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
