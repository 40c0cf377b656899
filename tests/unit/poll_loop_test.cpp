// A unit driven by its poll(2) loop over a pseudo-terminal, the unit played
// by a thread on the other side: the exchange ends when the reply's bytes
// arrive, not at a tick; a frame leaves in one write; a line that has
// nothing to give is waited on, not spun on.
#include "protocol/frame.h"
#include "station/com_port.h"
#include "support/pty_port.h"
#include "unit/poll_loop.h"
#include "unit/unit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;
using koravel::Bytes;
using testing_support::PtyPort;
using testing_support::TempConfigDir;

namespace {

// The port's calls, counted: how often the unit asks the driver what is
// waiting, and how many writes a frame takes.
std::atomic<int> inputQueries{0};
std::atomic<int> writes{0};
int CountedIoctl(int fd, unsigned long request, int* arg) {
    if (request == FIONREAD)
        ++inputQueries;
    return ::ioctl(fd, request, arg);
}
ssize_t CountedWrite(int fd, const void* buf, size_t count) {
    ++writes;
    return ::write(fd, buf, count);
}

transport::SystemCalls CountedCalls() {
    transport::SystemCalls calls = transport::RealSystemCalls();
    calls.ioctl = CountedIoctl;
    calls.write = CountedWrite;
    return calls;
}

class PollLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(koravel::OpenComPort(unit.Port(), 3), 0);
        unit.SetExchangeEnabled(true);
        inputQueries = 0;
        writes = 0;
    }
    void TearDown() override {
        stop_ = true;
        if (unit_.joinable())
            unit_.join();
    }

    // A unit on the master side that answers every request at once with
    // reply(request content).
    void StartUnit(std::function<Bytes(const Bytes&)> reply) {
        unit_ = std::thread([this, reply = std::move(reply)] {
            frame::Receiver rx;
            while (!stop_) {
                struct pollfd p {
                    port.master(), POLLIN, 0
                };
                if (::poll(&p, 1, 20) <= 0)
                    continue;
                for (std::uint8_t b : port.ReadAvailable()) {
                    if (rx.Push(b) == frame::Feed::Frame)
                        port.Write(reply(rx.buffer));
                }
            }
        });
    }

    // Runs one exchange through the loop, for at most limitMs of real time.
    std::optional<unit::Reply> Exchange(int attempts, int timeoutMs, int limitMs = 5000) {
        std::optional<unit::Reply> reply;
        unit.Transact(1, {}, false, attempts, timeoutMs,
                      [&reply](const unit::Reply& r) { reply = r; });
        loop.RunUntil([&reply] { return reply.has_value(); }, limitMs);
        return reply;
    }

    TempConfigDir dir;
    PtyPort port{dir.path(), 3};
    transport::SystemCalls calls = CountedCalls();
    // The clock stands still while frozen holds a time.
    std::optional<unit::Millis> frozen;
    unit::Unit unit{[this] { return frozen ? *frozen : unit::SteadyMillis(); }, calls};
    unit::PollLoop loop{unit};
    std::thread unit_;
    std::atomic<bool> stop_{false};
};

// With the clock standing, nothing is ever due: only the reply's arrival
// can end the exchange, so the loop must wake on the port.
TEST_F(PollLoopTest, TheExchangeEndsWhenTheReplyArrives) {
    StartUnit([](const Bytes& request) { return frame::Encode(Bytes{request[0], 0, 0x42}); });
    frozen = 1000;
    for (int i = 0; i < 11; ++i) {
        const std::optional<unit::Reply> reply = Exchange(1, 200);
        ASSERT_TRUE(reply.has_value()) << "exchange " << i << " never ended";
        EXPECT_EQ(reply->status, 0);
        EXPECT_EQ(reply->payload[0], 0x42);
        EXPECT_EQ(unit.ReplyBuffer()[0], 0x42);
    }
    EXPECT_TRUE(unit.Idle());
}

TEST_F(PollLoopTest, AFrameLeavesInOneWriteAndArrivesWhole) {
    Bytes argument{frame::kStart, 0x00, frame::kEscape, frame::kEnd};
    for (int i = 0; i < 200; ++i)
        argument.push_back(static_cast<std::uint8_t>(i));
    unit.SendRequest(4, argument);
    EXPECT_EQ(writes, 1);
    struct pollfd p {
        port.master(), POLLIN, 0
    };
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    std::uint8_t buf[1024];
    const ssize_t n = ::read(port.master(), buf, sizeof buf);
    ASSERT_GT(n, 0);
    Bytes content{0x0D, 0x04};
    content.insert(content.end(), argument.begin(), argument.end());
    EXPECT_EQ(Bytes(buf, buf + n), frame::Encode(content)) << "one read takes the whole frame";
}

TEST_F(PollLoopTest, ALineWithNothingToGiveIsWaitedOnNotSpunOn) {
    // Bytes waiting end a wait on the port at once; none end it when the
    // time is up.
    port.Write(Bytes{0x13});
    EXPECT_TRUE(unit.Port().WaitForInput(1000));
    EXPECT_EQ(unit.DiscardInput(16), 1u);
    EXPECT_FALSE(unit.Port().WaitForInput(5));

    // Damaged replies with bytes behind them: the loop reads past them
    // instead of waking on them over and over, and the attempt runs out.
    StartUnit([](const Bytes& request) {
        Bytes wire = frame::Encode(Bytes{request[0], 0});
        wire[wire.size() - 2] ^= 0x01;
        wire.insert(wire.end(), {0x00, 0x13, 0x37});
        return wire;
    });
    inputQueries = 0;
    std::optional<unit::Reply> reply = Exchange(1, 100);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->status, unit::kNoReply);
    EXPECT_LT(inputQueries, 30) << "a few reads for a few bytes";
    EXPECT_EQ(unit.Port().InputCount(), 0);
    stop_ = true;
    unit_.join();

    // A hung-up line signals without bytes: it is no longer watched, and a
    // wait on the port lasts its time.
    port.HangUp();
    inputQueries = 0;
    reply = Exchange(1, 100);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->status, unit::kNoReply);
    EXPECT_LT(inputQueries, 30);
    EXPECT_EQ(unit.InputFd(), transport::kNoHandle);
    const auto t0 = Clock::now();
    EXPECT_FALSE(unit.Port().WaitForInput(30));
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(30));
}

} // namespace
