// A port on real pseudo-terminals, and, through its own table of system
// calls, the driver behaviours that a pseudo-terminal cannot show.
#include "support/pty_port.h"
#include "transport/port.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

using koravel::Bytes;
using testing_support::PtyPort;
using testing_support::TempConfigDir;
using transport::Port;

namespace {

// Waits until port has at least count received bytes waiting.
void AwaitInput(Port& port, std::uint16_t count) {
    for (int i = 0; i < 2000 && port.InputCount() < count; ++i)
        usleep(1000);
}

// Two ports of one process keep their own state: a device that one holds
// the other cannot open, and opening another device lets the first one go.
TEST(Port, OpensExclusivelyAndReopeningClosesTheOldDevice) {
    TempConfigDir dir;
    PtyPort a(dir.path(), 1);
    PtyPort b(dir.path(), 2);
    Port first;
    Port second;
    ASSERT_EQ(first.Open(dir.path() + "/ports/com1"), 0); // a link to the device will do
    EXPECT_NE(first.handle(), transport::kNoHandle);
    EXPECT_EQ(first.TxQueueSize(), transport::kQueueSize); // a tty reports no size
    EXPECT_EQ(second.Open(a.slavePath()), EBUSY);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.LastError(), EBUSY);

    ASSERT_EQ(first.Open(b.slavePath()), 0); // closes the first device first
    EXPECT_EQ(second.Open(a.slavePath()), 0);
    EXPECT_EQ(Port().Open(b.slavePath()), EBUSY);

    // A device that does not exist fails, and the port stays closed.
    EXPECT_EQ(first.Open(dir.path() + "/ports/com3"), ENOENT);
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(first.handle(), transport::kNoHandle);
    EXPECT_EQ(Port().Open(b.slavePath()), 0) << "the failed open let the old device go";
}

TEST(Port, ConfigureEmptiesTheQueuesAndReadsNeverWait) {
    TempConfigDir dir;
    PtyPort device(dir.path(), 4);
    Port port;
    ASSERT_EQ(port.Open(device.slavePath()), 0);
    std::uint8_t b = 0;
    EXPECT_FALSE(port.ReadByte(b)); // nothing there: returns at once

    device.Write(Bytes{1, 2, 3});
    AwaitInput(port, 3);
    ASSERT_EQ(port.InputCount(), 3);
    ASSERT_EQ(port.Configure(), 0);
    EXPECT_EQ(port.InputCount(), 0);
    EXPECT_FALSE(port.ReadByte(b));

    device.Write(Bytes{0x42, 0x43, 0x44});
    AwaitInput(port, 3);
    ASSERT_TRUE(port.ReadByte(b));
    EXPECT_EQ(b, 0x42);
    std::uint8_t buffer[8] = {};
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 2u) << "takes what waits, no more";
    EXPECT_EQ(buffer[0], 0x43);
    EXPECT_EQ(buffer[1], 0x44);
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
    EXPECT_FALSE(port.ReadByte(b));

    const Bytes out{0xF5, 0x0D, 0x01, 0x59, 0xFA};
    port.Write(out);
    EXPECT_EQ(port.LastError(), 0);
    EXPECT_EQ(device.ReadAvailable(), out);
}

// What the port last asked the driver to set (a pseudo-terminal forces
// 8 data bits and no parity, so those are checked where they are asked for).
struct termios lastSettings {};
int RecordSettings(int fd, int action, const struct termios* t) {
    lastSettings = *t;
    return ::tcsetattr(fd, action, t);
}

TEST(Port, LineSettingsAreWrittenToTheDevice) {
    TempConfigDir dir;
    PtyPort device(dir.path(), 5);
    transport::SystemCalls calls = transport::RealSystemCalls();
    calls.tcsetattr = RecordSettings;
    Port port(calls);
    ASSERT_EQ(port.Open(device.slavePath()), 0);
    ASSERT_EQ(port.Configure(), 0); // the unit's line: 19200 8N1, no flow control
    struct termios t {};
    ASSERT_EQ(tcgetattr(port.handle(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    t = lastSettings;
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);

    ASSERT_EQ(port.Configure({9600, 'E', 7, 2, 'B'}), 0);
    t = lastSettings;
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CSTOPB | CRTSCTS),
              static_cast<tcflag_t>(PARENB | CSTOPB | CRTSCTS));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));

    ASSERT_EQ(port.Configure({19200, 'o', 8, 1, 'h'}), 0);
    EXPECT_EQ(lastSettings.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB | PARODD));
    EXPECT_NE(lastSettings.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(lastSettings.c_iflag & IXON, 0u);

    // A baud rate the line cannot take is refused.
    EXPECT_NE(port.Configure({12345, 'n', 8, 1, 'N'}), 0);
}

TEST(Port, ClosedPortRecordsErrors) {
    Port port;
    EXPECT_NE(port.Close(), 0);
    EXPECT_EQ(port.handle(), transport::kNoHandle);
    EXPECT_NE(port.Configure(), 0);
    EXPECT_NE(port.LastError(), 0);
    std::uint8_t b = 0;
    EXPECT_FALSE(port.ReadByte(b));
    EXPECT_EQ(port.InputCount(), 0);
    EXPECT_EQ(port.InputFd(), transport::kNoHandle);
}

// Driver behaviours played through the port's table.
int fakeOutQueue = 0;
int fakeWriteLimit = 0;
int FakeIoctl(int fd, unsigned long request, int* arg) {
    if (request == TIOCOUTQ) {
        *arg = fakeOutQueue;
        return 0;
    }
    return ::ioctl(fd, request, arg);
}
ssize_t ShortWrite(int fd, const void* buf, size_t count) {
    if (fakeWriteLimit <= 0)
        return 0; // the driver stopped taking bytes
    size_t n = std::min(count, static_cast<size_t>(fakeWriteLimit));
    fakeWriteLimit -= static_cast<int>(n);
    return ::write(fd, buf, n);
}
std::uint16_t SmallQueue(int) {
    return 16;
}

TEST(Port, WritesThatCompleteShortOrDoNotFit) {
    TempConfigDir dir;
    PtyPort device(dir.path(), 6);
    transport::SystemCalls calls = transport::RealSystemCalls();
    calls.ioctl = FakeIoctl;
    calls.txQueueSize = SmallQueue;
    Port port(calls);
    ASSERT_EQ(port.Open(device.slavePath()), 0);
    ASSERT_EQ(port.Configure(), 0);
    EXPECT_EQ(port.TxQueueSize(), 16);

    // A write that the driver completes short.
    fakeOutQueue = 0;
    fakeWriteLimit = 3;
    calls.write = ShortWrite; // the port reads its table at every call
    port.Write(Bytes(8, 0x55));
    EXPECT_EQ(port.LastError(), transport::kShortWrite);
    EXPECT_EQ(device.ReadAvailable().size(), 3u);

    // Ten bytes do not fit in the six free bytes: nothing is written and the
    // error code stays as it was.
    fakeOutQueue = 10;
    fakeWriteLimit = 100;
    port.Write(Bytes(10, 0x55));
    EXPECT_EQ(port.LastError(), transport::kShortWrite);
    EXPECT_TRUE(device.ReadAvailable().empty());
    EXPECT_EQ(port.OutputCount(), 10);
}

} // namespace
