// The serial layer on real pseudo-terminals, and, through its system-call
// seam, the driver behaviours that a pseudo-terminal cannot show.
#include "transport/comm32.h"
#include "support/pty_port.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

using koravel::Bytes;
using testing_support::PtyPort;
using testing_support::TempConfigDir;

namespace {

class Comm32Test : public ::testing::Test {
protected:
    void TearDown() override {
        comm32::ClosePort();
        comm32::Sys = comm32::RealSystemCalls();
    }
    TempConfigDir dir;
};

// Whether another process can open the port right now.
bool OtherProcessCanOpen(const std::string& name) {
    pid_t pid = fork();
    if (pid == 0) {
        comm32::PortHandle = comm32::kNoHandle; // the child's copy, not the parent's device
        _exit(comm32::OpenPort(name) == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(Comm32Test, PortNamesResolveThroughThePortsFolder) {
    PtyPort port(dir.path(), 12);
    EXPECT_EQ(comm32::ResolvePortPath("bio12"), dir.path() + "/ports/com12");
    EXPECT_EQ(comm32::ResolvePortPath("BIO3"), "/dev/ttyS2");
    EXPECT_EQ(comm32::ResolvePortPath("Bio3"), "/dev/ttyS2");
    EXPECT_EQ(comm32::ResolvePortPath("bio1"), "/dev/ttyS0");
    for (const char* bad : {"", "bio", "com3", "bio3x", "bio-1", "bi3", "bio0"})
        EXPECT_EQ(comm32::ResolvePortPath(bad), "") << bad;

    EXPECT_EQ(comm32::OpenPort("BIO12"), 0);
    EXPECT_NE(comm32::PortHandle, comm32::kNoHandle);
    EXPECT_EQ(comm32::TxQueueSize, comm32::kQueueSize); // a tty reports no size

    // A port whose device does not exist fails, and the port stays closed.
    EXPECT_NE(comm32::OpenPort("bio13"), 0);
    EXPECT_EQ(comm32::PortHandle, comm32::kNoHandle);
    EXPECT_NE(comm32::OpenPort("com1"), 0);
    EXPECT_NE(comm32::LastCommError, 0);
}

TEST_F(Comm32Test, PortIsExclusiveAndReopeningClosesTheOldOne) {
    PtyPort a(dir.path(), 1);
    PtyPort b(dir.path(), 2);
    ASSERT_EQ(comm32::OpenPort("bio1"), 0);
    EXPECT_FALSE(OtherProcessCanOpen("bio1"));
    EXPECT_TRUE(OtherProcessCanOpen("bio2"));

    ASSERT_EQ(comm32::OpenPort("bio2"), 0); // closes bio1 first
    EXPECT_TRUE(OtherProcessCanOpen("bio1"));
    EXPECT_FALSE(OtherProcessCanOpen("bio2"));
}

TEST_F(Comm32Test, ConfigureEmptiesTheQueuesAndReadsNeverWait) {
    PtyPort port(dir.path(), 4);
    ASSERT_EQ(comm32::OpenPort("bio4"), 0);
    std::uint8_t b = 0;
    EXPECT_FALSE(comm32::ReadByte(b)); // nothing there: returns at once

    port.Write(Bytes{1, 2, 3});
    for (int i = 0; i < 2000 && comm32::InputCount() < 3; ++i)
        usleep(1000);
    ASSERT_EQ(comm32::InputCount(), 3);
    ASSERT_EQ(comm32::ConfigurePort(19200, 'n', 8, 1, 'N'), 0);
    EXPECT_EQ(comm32::InputCount(), 0);
    EXPECT_FALSE(comm32::ReadByte(b));

    port.Write(Bytes{0x42});
    for (int i = 0; i < 2000 && comm32::InputCount() < 1; ++i)
        usleep(1000);
    ASSERT_TRUE(comm32::ReadByte(b));
    EXPECT_EQ(b, 0x42);
    EXPECT_FALSE(comm32::ReadByte(b));

    const Bytes out{0xF5, 0x0D, 0x01, 0x59, 0xFA};
    comm32::WriteText(out);
    EXPECT_EQ(comm32::LastCommError, 0);
    EXPECT_EQ(port.ReadAvailable(), out);
}

// What the layer last asked the driver to set (a pseudo-terminal forces
// 8 data bits and no parity, so those are checked where they are asked for).
struct termios lastSettings {};
int RecordSettings(int fd, int action, const struct termios* t) {
    lastSettings = *t;
    return ::tcsetattr(fd, action, t);
}

TEST_F(Comm32Test, LineSettingsAreWrittenToTheDevice) {
    PtyPort port(dir.path(), 5);
    comm32::Sys.tcsetattr = RecordSettings;
    ASSERT_EQ(comm32::OpenPort("bio5"), 0);
    ASSERT_EQ(comm32::ConfigurePort(19200, 'n', 8, 1, 'N'), 0);
    struct termios t {};
    ASSERT_EQ(tcgetattr(comm32::PortHandle, &t), 0);
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

    ASSERT_EQ(comm32::ConfigurePort(9600, 'E', 7, 2, 'B'), 0);
    t = lastSettings;
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CSTOPB | CRTSCTS),
              static_cast<tcflag_t>(PARENB | CSTOPB | CRTSCTS));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));

    ASSERT_EQ(comm32::ConfigurePort(19200, 'o', 8, 1, 'h'), 0);
    EXPECT_EQ(lastSettings.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB | PARODD));
    EXPECT_NE(lastSettings.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(lastSettings.c_iflag & IXON, 0u);

    // A baud rate the line cannot take is refused.
    EXPECT_NE(comm32::ConfigurePort(12345, 'n', 8, 1, 'N'), 0);
}

TEST_F(Comm32Test, ClosedPortRecordsErrors) {
    EXPECT_NE(comm32::ClosePort(), 0);
    EXPECT_EQ(comm32::PortHandle, comm32::kNoHandle);
    EXPECT_NE(comm32::ConfigurePort(19200, 'n', 8, 1, 'N'), 0);
    std::uint8_t b = 0;
    EXPECT_FALSE(comm32::ReadByte(b));
    EXPECT_EQ(comm32::InputCount(), 0);
}

// Driver behaviours played through the seam.
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

TEST_F(Comm32Test, WritesThatDoNotFitOrCompleteShort) {
    PtyPort port(dir.path(), 6);
    comm32::Sys.ioctl = FakeIoctl;
    comm32::Sys.txQueueSize = SmallQueue;
    ASSERT_EQ(comm32::OpenPort("bio6"), 0);
    ASSERT_EQ(comm32::ConfigurePort(19200, 'n', 8, 1, 'N'), 0);
    EXPECT_EQ(comm32::TxQueueSize, 16);

    // Ten bytes do not fit in the six free bytes: nothing is written and the
    // error code stays as it was.
    fakeOutQueue = 10;
    comm32::LastCommError = 1234;
    comm32::WriteText(Bytes(10, 0x55));
    EXPECT_EQ(comm32::LastCommError, 1234);
    EXPECT_TRUE(port.ReadAvailable().empty());
    EXPECT_EQ(comm32::OutputCount(), 10);

    // A write that the driver completes short.
    fakeOutQueue = 0;
    fakeWriteLimit = 3;
    comm32::Sys.write = ShortWrite;
    comm32::WriteText(Bytes(8, 0x55));
    EXPECT_EQ(comm32::LastCommError, comm32::kShortWrite);
    EXPECT_EQ(port.ReadAvailable().size(), 3u);
}

} // namespace
