// The command exchange against a pseudo-terminal that the test plays as the
// control unit. Time is the test's: every pass of the wait loop plays one
// 50 ms tick, and nothing really sleeps.
#include "transport/comm32.h"
#include "unit/exchange.h"
#include "protocol/frame.h"
#include "unit/poll_answers.h"
#include "support/pty_port.h"

#include <gtest/gtest.h>

#include <climits>
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
        if (onPass && !inPassHook) {
            inPassHook = true;
            const std::function<void()> hook = onPass; // it may clear onPass
            hook();
            inPassHook = false;
        }
    }

    // Writes as the unit and waits until the bytes reached the program's
    // side of the line (a pseudo-terminal delivers them a moment later).
    void Answer(const Bytes& wire) {
        // Bytes of earlier answers may still wait: these come on top.
        const std::size_t expected = comm32::InputCount() + wire.size();
        port.Write(wire);
        for (int i = 0; i < 2000 && comm32::InputCount() < expected; ++i)
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
    // Runs at the end of a pass, not again inside itself: what the window
    // does when it processes its messages (a click, a poll tick).
    std::function<void()> onPass;
    bool inPassHook = false;
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

// A frame of the sequence byte and its checksum alone carries no status:
// its checksum must not pass for one (for sequence 0xAA it is 0, "done").
TEST_F(ExchangeTest, ReplyWithoutAStatusByteIsNoReply) {
    exchange::ExchangeEnabled = true;
    exchange::SequenceCounter = 0x29; // the next sequence byte is 0xAA
    onRequest = [this](const Bytes& req) { Answer(frame::Encode(Bytes{req[0]})); };
    EXPECT_EQ(exchange::Transact(3, Bytes{0x78, 0x37}, true, 4, 100), exchange::kNoReply);
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0][0], 0xAA);

    // The wait goes on past it to the full reply.
    requests.clear();
    onRequest = [this](const Bytes& req) {
        Bytes both = frame::Encode(Bytes{req[0]});
        const Bytes full = Reply(req[0], 0, {0x42});
        both.insert(both.end(), full.begin(), full.end());
        Answer(both);
    };
    EXPECT_EQ(exchange::Transact(3, Bytes{0x78, 0x37}, true, 4, 100), 0);
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_EQ(exchange::ReplyBuffer[0], 0x42);
}

// Commands supersede each other: once a newer one is started, an older one
// still waiting sends nothing more, so the unit's last order is the newest.
TEST_F(ExchangeTest, NewestCommandWinsOnTheWire) {
    const Bytes older{0x8A, 0x1B}; // 7050 kHz: never answered
    const Bytes newer{0x78, 0x37}; // 14200 kHz
    onRequest = [&](const Bytes& req) {
        if (Bytes(req.begin() + 2, req.end() - 1) != older)
            Answer(Reply(req[0], 0));
    };
    std::vector<Bytes> wire;
    const auto tunes = [&] {
        wire.clear();
        for (const Bytes& r : requests)
            wire.emplace_back(r.begin() + 2, r.end() - 1);
        return wire;
    };

    // Started while the older one waits for its first answer.
    exchange::CommandResult inner;
    onPass = [&] {
        if (requests.size() == 1 && passes > 2) {
            onPass = nullptr;
            inner = exchange::SendCommand(3, newer);
        }
    };
    const exchange::CommandResult outer = exchange::SendCommand(3, older);
    EXPECT_EQ(inner.status, 0);
    EXPECT_FALSE(inner.superseded);
    EXPECT_EQ(outer.status, exchange::kNoReply);
    EXPECT_TRUE(outer.superseded);
    EXPECT_EQ(tunes(), (std::vector<Bytes>{older, newer})) << "no retry of the older one";

    // Started while the older one lets the window run before its first write:
    // the older frame never goes out.
    requests.clear();
    onPass = [&] {
        onPass = nullptr;
        inner = exchange::SendCommand(3, newer);
    };
    const exchange::CommandResult unsent = exchange::SendCommand(3, older);
    EXPECT_TRUE(unsent.superseded);
    EXPECT_EQ(inner.status, 0);
    EXPECT_EQ(tunes(), (std::vector<Bytes>{newer}));

    // A plain exchange (a set-up block write) is not stopped by a command
    // started inside its wait, and the command still gets its own exchange.
    requests.clear();
    onRequest = [this](const Bytes& req) {
        if (req[1] == 3 || requests.size() > 2)
            Answer(Reply(req[0], 0));
    };
    onPass = [&] {
        if (requests.size() == 1) {
            onPass = nullptr;
            inner = exchange::SendCommand(3, newer);
        }
    };
    EXPECT_EQ(exchange::Transact(4, Bytes{5, 0, 1}, true, 4, 100), 0);
    EXPECT_EQ(inner.status, 0);
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(requests[0][1], 4);
    EXPECT_EQ(requests[1][1], 3);
    EXPECT_EQ(requests.back()[1], 4) << "the block write went on after the command";
}

// Several readers share the port: a frame read by one that it is not for is
// kept for its owner.
TEST_F(ExchangeTest, FramesReadByAnotherReaderReachTheirOwner) {
    exchange::ExchangeEnabled = true;
    const auto sent = [this](std::uint8_t command) {
        return std::count_if(requests.begin(), requests.end(),
                             [command](const Bytes& r) { return r[1] == command; });
    };
    const auto joined = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };

    // A set-up block's answer comes while a command runs inside its wait,
    // ahead of the command's own: the command keeps it, the block write finds
    // it and is not sent again.
    exchange::CommandResult inner;
    onRequest = [&](const Bytes& req) {
        if (req[1] == 3)
            Answer(joined(Reply(requests.front()[0], 0, {0x21}), Reply(req[0], 0)));
    };
    onPass = [&] {
        if (requests.size() == 1) {
            onPass = nullptr;
            inner = exchange::SendCommand(3, Bytes{0x78, 0x37});
        }
    };
    EXPECT_EQ(exchange::Transact(4, Bytes{5, 0, 1}, true, 4, 100), 0);
    EXPECT_EQ(inner.status, 0);
    EXPECT_EQ(exchange::ReplyBuffer[0], 0x21);
    EXPECT_EQ(sent(4), 1);

    // A poll tick inside a command's wait reads the command's answer along
    // with its own: each reaches its owner.
    requests.clear();
    onRequest = nullptr;
    exchange::SendRequest(1, {});
    Pump(); // the unit sees it
    const std::uint8_t status = requests.back()[0];
    exchange::PollAnswers tick;
    onRequest = [&](const Bytes& req) {
        if (req[1] == 3)
            Answer(joined(Reply(req[0], 0, {0x33}), Reply(status, 0, {13, 1})));
    };
    onPass = [&] {
        if (requests.size() == 2) {
            onPass = nullptr;
            tick = exchange::CollectPollAnswers();
        }
    };
    EXPECT_EQ(exchange::SendCommand(3, Bytes{0x78, 0x37}).status, 0);
    EXPECT_EQ(exchange::ReplyBuffer[0], 0x33);
    EXPECT_TRUE(tick.answered);
    EXPECT_EQ(tick.command, 1);
    EXPECT_EQ(tick.newest, frame::WithChecksum(Bytes{status, 0, 13, 1}));

    // The other way round: a waiting command reads the poll's answer, and the
    // next tick finds it.
    exchange::SendRequest(1, {});
    Pump();
    const std::uint8_t late = requests.back()[0];
    onRequest = [&](const Bytes& req) {
        if (req[1] == 3)
            Answer(joined(Reply(late, 0, {13, 1}), Reply(req[0], 0)));
    };
    EXPECT_EQ(exchange::SendCommand(3, Bytes{0x78, 0x37}).status, 0);
    tick = exchange::CollectPollAnswers();
    EXPECT_TRUE(tick.answered);
    EXPECT_EQ(tick.newest[0], late);

    // Kept frames are bounded, oldest dropped; one whose sequence byte a new
    // request takes answers an earlier request and is never taken for its
    // answer.
    for (std::uint8_t n = 0; n < 20; ++n)
        exchange::KeepUnclaimed(Bytes{n, 0, 0});
    EXPECT_EQ(exchange::UnclaimedFrames.size(), exchange::kUnclaimedFrames);
    EXPECT_EQ(exchange::UnclaimedFrames.front()[0], 4);
    exchange::SequenceCounter = 8; // the next command's sequence byte is 0x89
    exchange::KeepUnclaimed(Bytes{0x89, 0, 0});
    onRequest = nullptr;
    EXPECT_EQ(exchange::SendCommand(3, Bytes{0x78, 0x37}).status, exchange::kNoReply);
    EXPECT_EQ(requests.back()[0], 0x89);
}

// The status poll takes the answers to its recent requests, however late.
TEST_F(ExchangeTest, PollTakesLateAnswersToItsRecentRequests) {
    std::vector<std::uint8_t> sequences;
    const auto request = [&] {
        exchange::SendRequest(1, {});
        Pump();
        sequences.push_back(requests.back()[0]);
    };
    const auto answer = [&](std::uint8_t sequence, std::uint8_t tag) {
        Answer(Reply(sequence, 0, {tag}));
    };
    for (int i = 0; i < 3; ++i)
        request();
    // The answers to the first two come in only now: the newest is shown.
    answer(sequences[0], 0xA0);
    answer(sequences[1], 0xA1);
    exchange::PollAnswers tick = exchange::CollectPollAnswers();
    EXPECT_TRUE(tick.answered);
    EXPECT_FALSE(tick.otherFrames);
    EXPECT_EQ(tick.command, 1);
    EXPECT_EQ(tick.newest, frame::WithChecksum(Bytes{sequences[1], 0, 0xA1}));
    EXPECT_EQ(comm32::InputCount(), 0u) << "every frame waiting was read";

    // An answer to a request before the one shown is older news; an answer
    // to a request beyond the last eight answers nothing.
    answer(sequences[0], 0xA0);
    tick = exchange::CollectPollAnswers();
    EXPECT_FALSE(tick.answered);
    EXPECT_TRUE(tick.otherFrames);
    for (int i = 0; i < 8; ++i)
        request();
    answer(sequences[2], 0xA2); // nine requests ago
    tick = exchange::CollectPollAnswers();
    EXPECT_FALSE(tick.answered);
    answer(sequences[3], 0xA3); // eight requests ago
    tick = exchange::CollectPollAnswers();
    EXPECT_TRUE(tick.answered);
    EXPECT_EQ(tick.newest[0], sequences[3]);
    // Nothing waiting: a silent tick.
    tick = exchange::CollectPollAnswers();
    EXPECT_FALSE(tick.answered);
    EXPECT_FALSE(tick.otherFrames);
}

// The 50 ms tick runs for ever; the count it keeps stops at its largest value.
TEST_F(ExchangeTest, ElapsedTimeSaturates) {
    exchange::ExchangeElapsed = INT32_MAX - 70;
    exchange::TimerTick();
    EXPECT_EQ(exchange::ExchangeElapsed, INT32_MAX - 20);
    exchange::TimerTick();
    exchange::TimerTick();
    EXPECT_EQ(exchange::ExchangeElapsed, INT32_MAX);
}

} // namespace
