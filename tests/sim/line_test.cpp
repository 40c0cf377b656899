// The simulator's side of the line: the port link, pacing, garbage on the
// wire, a pulled-out adapter, and reopening the port.
#include "sim/line.h"
#include "sim_support.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace simtest;

namespace {

bool IsLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string LinkTarget(const std::string& path) {
    char buf[512] = {};
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

void WriteAll(int fd, const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, std::min<size_t>(bytes.size() - done, 512));
        ASSERT_GT(n, 0) << std::strerror(errno);
        done += static_cast<size_t>(n);
        ::tcdrain(fd);
    }
}

} // namespace

TEST_F(SimOverLink, PortLinkIsMadeReplacesAStaleOneAndGoesAtStop) {
    const std::string link = PortsDir() + "/com" + std::to_string(kPort);
    ASSERT_EQ(::mkdir(PortsDir().c_str(), 0755), 0);
    ASSERT_EQ(::symlink("/dev/pts/99999", link.c_str()), 0); // left by a killed run

    simulator = std::make_unique<sim::Simulator>(Quick());
    std::string error;
    ASSERT_TRUE(simulator->Start(error)) << error;
    EXPECT_EQ(simulator->LinkPath(), link);
    EXPECT_TRUE(IsLink(link));
    EXPECT_EQ(LinkTarget(link), simulator->SlavePath());
    EXPECT_EQ(simulator->SlavePath().rfind("/dev/pts/", 0), 0u);

    simulator->Stop();
    EXPECT_FALSE(IsLink(link));
    simulator->Stop(); // twice is harmless
}

TEST_F(SimOverLink, LinkToARealDeviceIsLeftAloneAndTheStartFails) {
    const std::string link = PortsDir() + "/com" + std::to_string(kPort);
    ASSERT_EQ(::mkdir(PortsDir().c_str(), 0755), 0);
    ASSERT_EQ(::symlink("/dev/null", link.c_str()), 0); // the operator's adapter

    sim::Simulator other(Quick());
    std::string error;
    EXPECT_FALSE(other.Start(error));
    EXPECT_NE(error.find("/dev/null"), std::string::npos) << error;
    EXPECT_EQ(LinkTarget(link), "/dev/null");
    other.Stop();
    EXPECT_EQ(LinkTarget(link), "/dev/null");
}

TEST_F(SimOverLink, PacedReplyTakesAtLeastTheLineTimeOfBothFrames) {
    sim::Options options = Quick();
    options.pace = true;
    Start(options);

    const Bytes request = frame::Encode(Bytes{0x8D, koravel::kCommandStatus});
    const auto start = SteadyClock::now();
    unit.Port().Write(request);
    frame::Receiver receiver;
    std::size_t replyBytes = 0;
    ASSERT_EQ(ReadFrame(receiver, &replyBytes), frame::Feed::Frame);
    const auto elapsed = SteadyClock::now() - start;
    EXPECT_GE(elapsed, sim::kByteTime * static_cast<long>(request.size() + replyBytes));
    EXPECT_GE(replyBytes, 15u);
}

TEST_F(SimOverLink, GarbageOnTheLineNeverStopsTheUnit) {
    Start(Quick());
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes garbage;
    for (int i = 0; i < 3000; ++i)
        garbage.push_back(static_cast<std::uint8_t>(byte(rng)));
    // Over-long frames, runs of the special bytes, a frame of one byte.
    Bytes overlong{frame::kStart};
    overlong.insert(overlong.end(), 1000, 0x11);
    overlong.push_back(frame::kEnd);
    garbage.insert(garbage.end(), overlong.begin(), overlong.end());
    garbage.insert(garbage.end(), 300, frame::kEscape);
    garbage.insert(garbage.end(), 300, frame::kEnd);
    garbage.insert(garbage.end(), 300, frame::kStart);
    const Bytes tiny = frame::Encode(Bytes{0x42});
    garbage.insert(garbage.end(), tiny.begin(), tiny.end());
    Bytes escapedEnd{frame::kStart, 0x01, frame::kEscape, frame::kEnd};
    garbage.insert(garbage.end(), escapedEnd.begin(), escapedEnd.end());
    WriteAll(unit.Port().handle(), garbage);

    // Whatever the unit made of that, it answers the next request.
    EXPECT_EQ(Ask(koravel::kCommandStatus), 0);
    EXPECT_EQ(Ask(koravel::kCommandTune, koravel::TuneArgument(21200)), 0);
    EXPECT_EQ(simulator->State().state.targetKhz, 21200);
}

TEST_F(SimOverLink, HangUpLeavesTheProgramOnADeadLine) {
    Start(Quick());
    ASSERT_EQ(Ask(koravel::kCommandStatus), 0);
    const std::string link = simulator->LinkPath();

    simulator->HangUp();
    struct pollfd p {
        unit.Port().handle(), POLLOUT, 0
    };
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    EXPECT_NE(p.revents & POLLHUP, 0);
    unit.Port().Write(frame::Encode(Bytes{0x81, 1}));
    EXPECT_EQ(unit.Port().LastError(), EIO);
    EXPECT_TRUE(IsLink(link)) << "the link stays, dangling";

    // The rest of the simulator still works, and so does Stop.
    simulator->SendRaw(Bytes{1, 2, 3});
    simulator->HangUp();
    EXPECT_EQ(simulator->RequestCount(koravel::kCommandStatus), 1u);
    simulator->Stop();
    EXPECT_FALSE(IsLink(link));
}

TEST_F(SimOverLink, PortReopensAfterTheProgramClosedIt) {
    // A program without privileges must be able to open the port again after
    // an exclusive use has ended, as with a real device.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to play an unprivileged program";
    Start(Quick());
    const std::string slave = simulator->SlavePath();
    ASSERT_EQ(::chmod(slave.c_str(), 0666), 0);
    ASSERT_EQ(Ask(koravel::kCommandStatus), 0);
    unit.Port().Close();

    auto opensUnprivileged = [&slave] {
        pid_t pid = ::fork();
        if (pid == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
            int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            ::_exit(fd >= 0 ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    bool opened = false;
    const auto deadline = SteadyClock::now() + std::chrono::seconds(5);
    while (!opened && SteadyClock::now() < deadline) {
        opened = opensUnprivileged();
        if (!opened)
            std::this_thread::sleep_for(milliseconds(20));
    }
    EXPECT_TRUE(opened);

    OpenPort();
    EXPECT_EQ(Ask(koravel::kCommandStatus), 0) << "the program's own reopen is answered";
}
