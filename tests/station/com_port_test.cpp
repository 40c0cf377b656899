// COM numbers: what port n ("bio<n>") stands for, and opening it as the
// unit's line.
#include "station/com_port.h"
#include "station/port_links.h"
#include "support/pty_port.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <termios.h>

using testing_support::PtyPort;
using testing_support::TempConfigDir;

namespace {

TEST(ComPort, NamesResolveThroughThePortsFolderAndOpenAsTheUnitsLine) {
    TempConfigDir dir;
    PtyPort device(dir.path(), 12);
    EXPECT_EQ(koravel::ResolvePortPath("bio12"), dir.path() + "/ports/com12");
    EXPECT_EQ(koravel::ResolvePortPath("BIO3"), "/dev/ttyS2");
    EXPECT_EQ(koravel::ResolvePortPath("Bio3"), "/dev/ttyS2");
    EXPECT_EQ(koravel::ResolvePortPath("bio1"), "/dev/ttyS0");
    for (const char* bad : {"", "bio", "com3", "bio3x", "bio-1", "bi3", "bio0"})
        EXPECT_EQ(koravel::ResolvePortPath(bad), "") << bad;

    // A link whose text is a network address is opened as that address.
    std::string error;
    ASSERT_TRUE(koravel::SetPortLink(dir.path(), 9, "tcp://shack-pi:3001", error)) << error;
    EXPECT_EQ(koravel::ResolvePortTarget("bio9"), "tcp://shack-pi:3001");
    EXPECT_EQ(koravel::ResolvePortTarget("bio12"), dir.path() + "/ports/com12");

    transport::Port port;
    ASSERT_EQ(koravel::OpenComPort(port, 12), 0);
    struct termios t {};
    ASSERT_EQ(tcgetattr(port.handle(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B19200);

    // A number whose device does not exist fails, and what the port held is
    // closed.
    EXPECT_EQ(koravel::OpenComPort(port, 13), ENOENT);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(koravel::OpenComPort(port, 0), ENOENT);
}

} // namespace
