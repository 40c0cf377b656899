// The local kind of port: a serial device (a tty), through the SystemCalls
// seam.
#include "transport/port_ops.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace transport {

namespace {

int RealOpen(const char* path, int flags) {
    return ::open(path, flags);
}
int RealIoctl(int fd, unsigned long request, int* arg) {
    return ::ioctl(fd, request, arg);
}
int RealFcntl(int fd, int cmd, int arg) {
    return ::fcntl(fd, cmd, arg);
}
std::uint16_t RealTxQueueSize(int) {
    return 0;
} // a tty reports no queue size

bool BaudToSpeed(std::uint32_t baud, speed_t& speed) {
    struct Entry {
        std::uint32_t baud;
        speed_t speed;
    };
    static const Entry table[] = {
        {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},   {4800, B4800},
        {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600}, {115200, B115200},
        {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const auto& e : table) {
        if (e.baud == baud) {
            speed = e.speed;
            return true;
        }
    }
    return false;
}

std::int32_t Open(PortState& state, const std::string& path) {
    // Opened without waiting for carrier, then switched to blocking writes.
    int fd = state.sys.open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // Exclusive use: TIOCEXCL keeps other openers out, and the lock does the
    // same for openers that TIOCEXCL lets through (a privileged process).
    int unused = 0;
    if (state.sys.ioctl(fd, TIOCEXCL, &unused) != 0 ||
        state.sys.flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const std::int32_t error = errno == EWOULDBLOCK ? EBUSY : errno;
        state.sys.close(fd);
        return error;
    }
    int flags = state.sys.fcntl(fd, F_GETFL, 0);
    if (flags < 0 || state.sys.fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const std::int32_t error = errno;
        state.sys.close(fd);
        return error;
    }
    state.handle = fd;
    return 0;
}

std::int32_t Configure(PortState& state, const LineSettings& line) {
    struct termios t {};
    (void)state.sys.tcgetattr(state.handle, &t); // result ignored: unknown fields keep zero
    const tcflag_t oldParity = t.c_cflag & (PARENB | PARODD | CMSPAR);

    cfmakeraw(&t);
    speed_t speed = B19200;
    if (!BaudToSpeed(line.baud, speed))
        return EINVAL;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);

    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    switch (line.dataBits) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    default:
        t.c_cflag |= CS8;
        break;
    }

    t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
    switch (std::toupper(static_cast<unsigned char>(line.parity))) {
    case 'E':
        t.c_cflag |= PARENB;
        break;
    case 'O':
        t.c_cflag |= PARENB | PARODD;
        break;
    case 'N':
        break;
    case 'M':
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 'S':
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        t.c_cflag |= oldParity;
        break; // keep the device's parity
    }

    if (line.stopBits == 2)
        t.c_cflag |= CSTOPB;
    else
        t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);

    const int f = std::toupper(static_cast<unsigned char>(line.flow));
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (f == 'H' || f == 'B')
        t.c_cflag |= CRTSCTS;
    if (f == 'X' || f == 'B')
        t.c_iflag |= IXON | IXOFF;

    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0; // reads return at once with what has arrived
    t.c_cc[VTIME] = 0;

    if (state.sys.tcsetattr(state.handle, TCSANOW, &t) != 0)
        return errno;
    int dtr = TIOCM_DTR;
    (void)state.sys.ioctl(state.handle, TIOCMBIS, &dtr); // a pseudo-terminal has no DTR line
    (void)state.sys.tcflush(state.handle, TCIOFLUSH);
    return 0;
}

std::int32_t Close(PortState& state) {
    return state.sys.close(state.handle) == 0 ? 0 : errno;
}

bool QueueCount(PortState& state, unsigned long request, std::uint32_t& count) {
    int value = 0;
    if (state.sys.ioctl(state.handle, request, &value) != 0)
        return false;
    count = static_cast<std::uint32_t>(value);
    return true;
}

// A device that signals with nothing to read has hung up (an adapter
// unplugged, a pseudo-terminal whose other side closed): nothing more comes
// on this descriptor, and an event loop must stop watching it.
void NoteHangUp(PortState& state) {
    struct pollfd p {
        state.handle, POLLIN, 0
    };
    if (state.sys.poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        state.hungUp = true;
}

bool InputCount(PortState& state, std::uint32_t& count) {
    // A device that hung up may refuse the query itself (a pseudo-terminal
    // whose other side closed answers EIO).
    const bool known = QueueCount(state, FIONREAD, count);
    if ((!known || count == 0) && !state.hungUp)
        NoteHangUp(state);
    return known;
}

bool OutputCount(PortState& state, std::uint32_t& count) {
    return QueueCount(state, TIOCOUTQ, count);
}

std::size_t Read(PortState& state, std::uint8_t* buffer, std::size_t size) {
    const ssize_t n = state.sys.read(state.handle, buffer, size);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

ssize_t Write(PortState& state, koravel::ByteView bytes) {
    return state.sys.write(state.handle, bytes.data(), bytes.size());
}

bool Waiting(PortState& state) {
    std::uint32_t count = 0;
    return InputCount(state, count) && (count & 0xFFFFu) != 0;
}

bool WaitForInput(PortState& state, int ms) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        struct pollfd p {
            state.handle, POLLIN, 0
        };
        const int rc = state.sys.poll(&p, 1, static_cast<int>(std::max<std::int64_t>(left, 0)));
        if (rc > 0 && Waiting(state))
            return true;
        if (rc == 0)
            return false;
        if (rc < 0 && errno == EINTR)
            continue;
        // Ready with nothing to read (a hang-up, an error), or the wait itself
        // failed: no byte comes in this time, and returning now would have
        // the caller ask again at once, over and over.
        std::this_thread::sleep_until(until);
        return Waiting(state);
    }
}

Handle InputFd(const PortState& state) {
    return state.hungUp ? kNoHandle : state.handle;
}

} // namespace

const SystemCalls& RealSystemCalls() {
    static const SystemCalls calls{RealOpen,    ::close,   ::read,          ::write,
                                   RealIoctl,   ::flock,   RealFcntl,       ::tcgetattr,
                                   ::tcsetattr, ::tcflush, RealTxQueueSize, ::poll};
    return calls;
}

const PortOps& DeviceOps() {
    static const PortOps ops{Open, Configure, Close,        InputCount, OutputCount,
                             Read, Write,     WaitForInput, InputFd,    nullptr};
    return ops;
}

} // namespace transport
