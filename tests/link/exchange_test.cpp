// The command exchange against a pseudo-terminal that the test plays as the
// control unit. Time is the test's: every pass of the wait loop plays one
// 50 ms tick, and nothing really sleeps.
#include "link/comm32.h"
#include "link/exchange.h"
#include "link/frame.h"
#include "support/pty_port.h"

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

using koravel::Bytes;
using testing_support::PtyPort;
using testing_support::TempConfigDir;

namespace {

class ExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        exchange::ResetExchange();
        ASSERT_EQ(comm32::OpenPort("bio7"), 0);
        ASSERT_EQ(comm32::ConfigurePort(19200, 'n', 8, 1, 'N'), 0);
        exchange::ExchangeHooks = {};
        exchange::ExchangeHooks.ProcessMessages = [this] { Pump(); };
        exchange::ExchangeHooks.FrameReceived = [this] { ++framesSeen; };
        exchange::ExchangeHooks.LightTx = [this] { ++txLit; };
        exchange::ExchangeHooks.Sleep = [](int) {};
    }
    void TearDown() override {
        comm32::ClosePort();
        exchange::ExchangeHooks = {};
        exchange::ResetExchange();
    }

    // One pass of the window's message loop: the unit sees what was written,
    // and the 50 ms tick runs.
    void Pump() {
        ++passes;
        Bytes wire = port.ReadAvailable();
        for (std::uint8_t b : wire) {
            if (unitRx.Push(b) == frame::Feed::Frame) {
                requests.push_back(unitRx.buffer);
                if (onRequest)
                    onRequest(unitRx.buffer);
            }
        }
        if (tickEveryPass)
            exchange::TimerTick();
    }

    // Writes as the unit and waits until the bytes reached the program's
    // side of the line (a pseudo-terminal delivers them a moment later).
    void Answer(const Bytes& wire) {
        port.Write(wire);
        for (int i = 0; i < 2000 && comm32::InputCount() < wire.size(); ++i)
            usleep(1000);
    }

    // A reply frame on the wire: sequence, status, payload.
    static Bytes Reply(std::uint8_t sequence, std::uint8_t status, Bytes payload = {}) {
        Bytes content{sequence, status};
        content.insert(content.end(), payload.begin(), payload.end());
        return frame::Encode(content);
    }

    TempConfigDir dir;
    PtyPort port{dir.path(), 7};
    frame::Receiver unitRx;
    std::vector<Bytes> requests;
    std::function<void(const Bytes&)> onRequest;
    bool tickEveryPass = true;
    int passes = 0;
    int framesSeen = 0;
    int txLit = 0;
};

TEST_F(ExchangeTest, TransactReturnsStatusAndLeavesPayloadInReplyBuffer) {
    exchange::ExchangeEnabled = true;
    onRequest = [this](const Bytes& req) { Answer(Reply(req[0], 0, {0x11, 0x22})); };
    const Bytes arg{0x78, 0x37};
    EXPECT_EQ(exchange::Transact(3, arg, true, 4, 100), 0);
    ASSERT_EQ(requests.size(), 1u);
    // 12 + 1 with bit 7 for a reply, then command and argument.
    EXPECT_EQ(requests[0], frame::WithChecksum(Bytes{0x8D, 0x03, 0x78, 0x37}));
    ASSERT_EQ(exchange::ReplyBuffer.size(), 3u);
    EXPECT_EQ(exchange::ReplyBuffer[0], 0x11);
    EXPECT_EQ(exchange::ReplyBuffer[1], 0x22);
    EXPECT_EQ(framesSeen, 1);
    EXPECT_EQ(txLit, 1);

    // A refusal comes back unchanged; a status of 255 looks like no reply.
    onRequest = [this](const Bytes& req) { Answer(Reply(req[0], 7)); };
    EXPECT_EQ(exchange::Transact(4, Bytes{}, true, 4, 100), 7);
    onRequest = [this](const Bytes& req) { Answer(Reply(req[0], 255)); };
    EXPECT_EQ(exchange::Transact(4, Bytes{}, true, 1, 100), exchange::kNoReply);
    EXPECT_EQ(requests.size(), 3u);
}

TEST_F(ExchangeTest, SequenceBytesAndTheirWrap) {
    exchange::ExchangeEnabled = true;
    onRequest = [this](const Bytes& req) { Answer(Reply(req[0], 0)); };
    exchange::Transact(1, Bytes{}, false, 1, 200);
    EXPECT_EQ(requests.back()[0], 0x0D);
    exchange::SequenceCounter = 127;
    exchange::Transact(1, Bytes{}, false, 1, 200);
    EXPECT_EQ(requests.back()[0], 0x00);
    exchange::SequenceCounter = 127;
    exchange::Transact(3, Bytes{0, 0}, true, 1, 100);
    EXPECT_EQ(requests.back()[0], 0x80);

    onRequest = nullptr;
    exchange::SequenceCounter = 127;
    exchange::SendRequest(1, Bytes{});
    EXPECT_EQ(exchange::LastSentSequence, 128);
    EXPECT_EQ(exchange::LastSentCommand, 1);
    exchange::SendRequest(2, Bytes{});
    EXPECT_EQ(exchange::LastSentSequence, 1);
    EXPECT_EQ(exchange::LastSentCommand, 2);
    Pump();
    ASSERT_GE(requests.size(), 5u);
    EXPECT_EQ(requests[requests.size() - 2][0], 0x80);
    EXPECT_EQ(requests.back()[0], 0x01);
}

TEST_F(ExchangeTest, FirstStatusRequestIsTheWorkedExample) {
    exchange::SendRequest(1, Bytes{});
    EXPECT_EQ(port.ReadAvailable(), (Bytes{0xF5, 0x0D, 0x01, 0x59, 0xFA}));
}

TEST_F(ExchangeTest, UnansweredCommandSendsOncePerAttemptAndTimesOutAtElapsed150) {
    exchange::ExchangeEnabled = true;
    std::vector<int> passesAtSend;
    onRequest = [&](const Bytes&) { passesAtSend.push_back(passes); };
    EXPECT_EQ(exchange::Transact(3, Bytes{0x78, 0x37}, true, 4, 100), exchange::kNoReply);
    ASSERT_EQ(requests.size(), 4u);
    for (const Bytes& r : requests)
        EXPECT_EQ(r[0], 0x8D); // the same sequence byte on every attempt
    // Each attempt: the send's own pass plus three wait passes (50, 100, 150).
    for (size_t i = 1; i < passesAtSend.size(); ++i)
        EXPECT_EQ(passesAtSend[i] - passesAtSend[i - 1], 4);
    EXPECT_EQ(exchange::ExchangeElapsed, 150);
}

TEST_F(ExchangeTest, DisabledExchangeSendsNothing) {
    EXPECT_EQ(exchange::Transact(3, Bytes{0x78, 0x37}, true, 4, 100), exchange::kNoReply);
    EXPECT_TRUE(port.ReadAvailable().empty());
    EXPECT_EQ(passes, 0);

    // Cleared while waiting: the call ends at its next check.
    exchange::ExchangeEnabled = true;
    onRequest = [](const Bytes&) { exchange::ExchangeEnabled = false; };
    EXPECT_EQ(exchange::Transact(3, Bytes{0x78, 0x37}, true, 4, 100), exchange::kNoReply);
    EXPECT_EQ(requests.size(), 1u);
}

TEST_F(ExchangeTest, FramesWithOtherSequenceBytesAndDamagedFramesAreSkipped) {
    exchange::ExchangeEnabled = true;
    onRequest = [this](const Bytes& req) {
        Bytes stream = Reply(static_cast<std::uint8_t>(req[0] ^ 0x01), 0); // another request's
        Bytes bad = Reply(req[0], 9);
        bad[bad.size() - 2] ^= 0x40; // damaged checksum
        stream.insert(stream.end(), bad.begin(), bad.end());
        Bytes noise{0x00, 0x13, frame::kEnd};
        stream.insert(stream.end(), noise.begin(), noise.end());
        Bytes good = Reply(req[0], 0, {0x42});
        stream.insert(stream.end(), good.begin(), good.end());
        Answer(stream);
    };
    EXPECT_EQ(exchange::Transact(3, Bytes{0x78, 0x37}, true, 4, 100), 0);
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_EQ(exchange::ReplyBuffer[0], 0x42);
    // Both intact frames restarted the poll's silence count.
    EXPECT_EQ(framesSeen, 2);
}

TEST_F(ExchangeTest, ReceiveFrameAssemblesAFrameThatArrivesInPieces) {
    Bytes wire = Reply(0x0D, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    for (size_t i = 0; i + 1 < wire.size(); ++i) {
        Answer(Bytes{wire[i]});
        EXPECT_FALSE(exchange::ReceiveFrame());
        EXPECT_TRUE(exchange::InFrame);
    }
    Answer(Bytes{wire.back()});
    EXPECT_TRUE(exchange::ReceiveFrame());
    EXPECT_EQ(exchange::ReplyBuffer[0], 0x0D);

    // Bytes after an end byte wait in the queue for the next call.
    Bytes two = Reply(0x01, 0);
    Bytes second = Reply(0x02, 0);
    two.insert(two.end(), second.begin(), second.end());
    Answer(two);
    EXPECT_TRUE(exchange::ReceiveFrame());
    EXPECT_EQ(exchange::ReplyBuffer[0], 0x01);
    EXPECT_TRUE(exchange::ReceiveFrame());
    EXPECT_EQ(exchange::ReplyBuffer[0], 0x02);
    EXPECT_FALSE(exchange::ReceiveFrame());
}

TEST_F(ExchangeTest, EndlessFrameOnTheLineDoesNotGrowTheReplyBuffer) {
    Bytes endless(4000, 0x41);
    endless[0] = frame::kStart;
    Answer(endless);
    while (comm32::InputCount() > 0)
        EXPECT_FALSE(exchange::ReceiveFrame());
    EXPECT_LE(exchange::ReplyBuffer.size(), frame::kMaxReceived);
    Answer(Reply(0x05, 0));
    EXPECT_TRUE(exchange::ReceiveFrame());
    EXPECT_EQ(exchange::ReplyBuffer[0], 0x05);
}

} // namespace
