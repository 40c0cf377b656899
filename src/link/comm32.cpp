#include "link/comm32.h"

#include "link/config_dir.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace comm32 {

Handle PortHandle = kNoHandle;
std::int32_t LastCommError = 0;
std::uint16_t TxQueueSize = 0;
CommStatus StatusSnapshot;

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

bool ParsePortNumber(const std::string& name, unsigned long& number) {
    if (name.size() < 4)
        return false;
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "BIO"[i])
            return false;
    }
    number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return false;
        number = number * 10 + static_cast<unsigned long>(name[i] - '0');
        if (number > 1000000)
            return false;
    }
    return true;
}

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

// Reads both queue counts into the snapshot. False when the query failed.
bool QueryStatus(bool wantInput) {
    int count = 0;
    int rc = Sys.ioctl(PortHandle, wantInput ? FIONREAD : TIOCOUTQ, &count);
    if (rc != 0 || PortHandle == kNoHandle)
        return false;
    auto value = static_cast<std::uint16_t>(static_cast<unsigned>(count) & 0xFFFFu);
    if (wantInput)
        StatusSnapshot.inQue = value;
    else
        StatusSnapshot.outQue = value;
    return true;
}

} // namespace

SystemCalls RealSystemCalls() {
    return SystemCalls{RealOpen,  ::close,     ::read,      ::write,   RealIoctl,       ::flock,
                       RealFcntl, ::tcgetattr, ::tcsetattr, ::tcflush, RealTxQueueSize, ::poll};
}

SystemCalls Sys = RealSystemCalls();

std::string ResolvePortPath(const std::string& name) {
    unsigned long number = 0;
    if (!ParsePortNumber(name, number))
        return {};
    std::string link = koravel::JoinPath(koravel::JoinPath(koravel::ConfigDir(), "ports"),
                                         "com" + std::to_string(number));
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0)
        return link;
    if (number == 0)
        return {};
    return "/dev/ttyS" + std::to_string(number - 1);
}

std::int32_t ClosePort() {
    if (Sys.close(PortHandle) == 0)
        LastCommError = 0;
    else
        LastCommError = errno;
    PortHandle = kNoHandle;
    return LastCommError;
}

std::int32_t OpenPort(const std::string& name) {
    if (PortHandle != kNoHandle)
        ClosePort();
    std::string path = ResolvePortPath(name);
    if (path.empty()) {
        LastCommError = ENOENT;
        return LastCommError;
    }
    // Opened without waiting for carrier, then switched to blocking writes.
    int fd = Sys.open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        LastCommError = errno;
        return LastCommError;
    }
    // Exclusive use: TIOCEXCL keeps other openers out, and the lock does the
    // same for openers that TIOCEXCL lets through (a privileged process).
    int unused = 0;
    if (Sys.ioctl(fd, TIOCEXCL, &unused) != 0 || Sys.flock(fd, LOCK_EX | LOCK_NB) != 0) {
        LastCommError = errno == EWOULDBLOCK ? EBUSY : errno;
        Sys.close(fd);
        return LastCommError;
    }
    int flags = Sys.fcntl(fd, F_GETFL, 0);
    if (flags < 0 || Sys.fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        LastCommError = errno;
        Sys.close(fd);
        return LastCommError;
    }
    PortHandle = fd;
    LastCommError = 0;
    StatusSnapshot = CommStatus{};
    std::uint16_t reported = Sys.txQueueSize(fd);
    TxQueueSize = reported == 0 ? kQueueSize : reported;
    return LastCommError;
}

std::int32_t ConfigurePort(std::uint32_t baud, char parity, int dataBits, int stopBits, char flow) {
    struct termios t {};
    (void)Sys.tcgetattr(PortHandle, &t); // result ignored: unknown fields keep zero
    const tcflag_t oldParity = t.c_cflag & (PARENB | PARODD | CMSPAR);

    cfmakeraw(&t);
    speed_t speed = B19200;
    if (!BaudToSpeed(baud, speed)) {
        LastCommError = EINVAL;
        return LastCommError;
    }
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);

    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    switch (dataBits) {
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
    switch (std::toupper(static_cast<unsigned char>(parity))) {
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

    if (stopBits == 2)
        t.c_cflag |= CSTOPB;
    else
        t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);

    const int f = std::toupper(static_cast<unsigned char>(flow));
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (f == 'H' || f == 'B')
        t.c_cflag |= CRTSCTS;
    if (f == 'X' || f == 'B')
        t.c_iflag |= IXON | IXOFF;

    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0; // reads return at once with what has arrived
    t.c_cc[VTIME] = 0;

    if (Sys.tcsetattr(PortHandle, TCSANOW, &t) != 0) {
        LastCommError = errno;
        return LastCommError;
    }
    int dtr = TIOCM_DTR;
    (void)Sys.ioctl(PortHandle, TIOCMBIS, &dtr); // a pseudo-terminal has no DTR line
    (void)Sys.tcflush(PortHandle, TCIOFLUSH);
    StatusSnapshot = CommStatus{};
    LastCommError = 0;
    return 0;
}

std::uint16_t InputCount() {
    if (!QueryStatus(true))
        return 0;
    return StatusSnapshot.inQue;
}

std::uint16_t OutputCount() {
    (void)QueryStatus(false); // on failure the previous snapshot's count stands
    return StatusSnapshot.outQue;
}

bool ReadByte(std::uint8_t& byte) {
    if (InputCount() == 0)
        return false;
    std::uint8_t b = 0;
    if (Sys.read(PortHandle, &b, 1) != 1)
        return false;
    byte = b;
    return true;
}

void WriteText(koravel::ByteView bytes) {
    const long room = static_cast<long>(TxQueueSize) - static_cast<long>(OutputCount());
    if (room < static_cast<long>(bytes.size()))
        return; // does not fit: dropped whole, error code left as it was
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = Sys.write(PortHandle, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            LastCommError = done > 0 ? kShortWrite : errno;
            return;
        }
        if (n == 0) {
            LastCommError = kShortWrite;
            return;
        }
        done += static_cast<size_t>(n);
    }
    LastCommError = 0;
}

bool WaitForInput(int ms) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
    if (PortHandle == kNoHandle) {
        std::this_thread::sleep_until(until);
        return false;
    }
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        struct pollfd p {
            PortHandle, POLLIN, 0
        };
        const int rc = Sys.poll(&p, 1, static_cast<int>(std::max<std::int64_t>(left, 0)));
        if (rc > 0 && InputCount() > 0)
            return true;
        if (rc == 0)
            return false;
        if (rc < 0 && errno == EINTR)
            continue;
        // Ready with nothing to read (a hang-up, an error), or the wait itself
        // failed: no byte comes in this time, and returning now would have
        // the caller ask again at once, over and over.
        std::this_thread::sleep_until(until);
        return InputCount() > 0;
    }
}

} // namespace comm32
