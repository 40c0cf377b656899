// Waiting on the port with real time: the exchange wakes when the unit's
// bytes arrive instead of sleeping out its passes, a frame leaves in one
// write, and a line that has nothing to give is waited on, not spun on.
#include "transport/comm32.h"
#include "unit/exchange.h"
#include "protocol/frame.h"
#include "support/pty_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;
using koravel::Bytes;
using testing_support::PtyPort;
using testing_support::TempConfigDir;

namespace {

std::atomic<int> polls{0};
std::atomic<int> writes{0};
int CountedPoll(struct pollfd* fds, nfds_t count, int timeoutMs) {
    ++polls;
    return ::poll(fds, count, timeoutMs);
}
ssize_t CountedWrite(int fd, const void* buf, size_t count) {
    ++writes;
    return ::write(fd, buf, count);
}

class PortWaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        exchange::ResetExchange();
        exchange::ExchangeHooks = {};
        ASSERT_EQ(comm32::OpenPort("bio3"), 0);
        ASSERT_EQ(comm32::ConfigurePort(19200, 'n', 8, 1, 'N'), 0);
        comm32::Sys.poll = CountedPoll;
        comm32::Sys.write = CountedWrite;
        polls = 0;
        writes = 0;
        // The window's way: the 50 ms tick from the real clock, no Sleep hook.
        lastTick_ = Clock::now();
        exchange::ExchangeHooks.ProcessMessages = [this] {
            while (Clock::now() - lastTick_ >= std::chrono::milliseconds(exchange::kTickMs)) {
                exchange::TimerTick();
                lastTick_ += std::chrono::milliseconds(exchange::kTickMs);
            }
        };
        exchange::ExchangeEnabled = true;
    }
    void TearDown() override {
        stop_ = true;
        if (unit_.joinable())
            unit_.join();
        comm32::ClosePort();
        comm32::Sys = comm32::RealSystemCalls();
        exchange::ExchangeHooks = {};
        exchange::ResetExchange();
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

    TempConfigDir dir;
    PtyPort port{dir.path(), 3};
    std::thread unit_;
    std::atomic<bool> stop_{false};
    Clock::time_point lastTick_;
};

TEST_F(PortWaitTest, TransactReturnsWellInsideOneWaitPassWhenTheUnitAnswersAtOnce) {
    StartUnit([](const Bytes& request) { return frame::Encode(Bytes{request[0], 0, 0x42}); });
    std::vector<double> ms;
    for (int i = 0; i < 11; ++i) {
        const auto t0 = Clock::now();
        ASSERT_EQ(exchange::Transact(1, Bytes{}, false, 1, 200), 0);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        EXPECT_EQ(exchange::ReplyBuffer[0], 0x42);
    }
    // A blind 10 ms pause per pass would make every exchange last 10 ms or
    // more; waiting on the port, one lasts as long as the bytes take.
    std::nth_element(ms.begin(), ms.begin() + 5, ms.end());
    EXPECT_LT(ms[5], 8.0) << "median of 11 exchanges, in ms";
}

TEST_F(PortWaitTest, AFrameLeavesInOneWriteAndArrivesWhole) {
    Bytes content{0x0E, 0x04, frame::kStart, 0x00, frame::kEscape, frame::kEnd};
    for (int i = 0; i < 200; ++i)
        content.push_back(static_cast<std::uint8_t>(i));
    exchange::SendFrame(content);
    EXPECT_EQ(writes, 1);
    struct pollfd p {
        port.master(), POLLIN, 0
    };
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    std::uint8_t buf[1024];
    const ssize_t n = ::read(port.master(), buf, sizeof buf);
    ASSERT_GT(n, 0);
    EXPECT_EQ(Bytes(buf, buf + n), frame::Encode(content)) << "one read takes the whole frame";
}

TEST_F(PortWaitTest, ALineWithNothingToGiveIsWaitedOnNotSpunOn) {
    // Bytes waiting end the wait at once; none end it when the time is up.
    port.Write(Bytes{0x13});
    EXPECT_TRUE(comm32::WaitForInput(1000));
    std::uint8_t b = 0;
    ASSERT_TRUE(comm32::ReadByte(b));
    EXPECT_FALSE(comm32::WaitForInput(5));

    // Damaged replies with bytes behind them: the wait reads past them each
    // pass instead of waking on them over and over.
    StartUnit([](const Bytes& request) {
        Bytes wire = frame::Encode(Bytes{request[0], 0});
        wire[wire.size() - 2] ^= 0x01;
        wire.insert(wire.end(), {0x00, 0x13, 0x37});
        return wire;
    });
    polls = 0;
    EXPECT_EQ(exchange::Transact(1, Bytes{}, false, 1, 100), exchange::kNoReply);
    EXPECT_LT(polls, 60) << "about one wait per 10 ms pass";
    EXPECT_EQ(comm32::InputCount(), 0);
    stop_ = true;
    unit_.join();

    // A hung-up line signals without bytes: each wait lasts its time.
    port.HangUp();
    polls = 0;
    const auto t0 = Clock::now();
    EXPECT_FALSE(comm32::WaitForInput(30));
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(30));
    EXPECT_EQ(exchange::Transact(1, Bytes{}, false, 1, 100), exchange::kNoReply);
    EXPECT_LT(polls, 60);
}

} // namespace
