// One unit, driven by the test as an event loop drives it, against a
// pseudo-terminal that the test plays as the control unit. Time is the
// test's: the clock stands while the test hands the unit its input, and
// moves only to the moment the unit is next due. Nothing really sleeps.
#include "protocol/frame.h"
#include "setup/transfer.h"
#include "station/com_port.h"
#include "support/pty_port.h"
#include "unit/unit.h"

#include <gtest/gtest.h>

#include <climits>
#include <deque>
#include <functional>
#include <optional>
#include <poll.h>
#include <unistd.h>

using koravel::Bytes;
using testing_support::PtyPort;
using testing_support::TempConfigDir;
using unit::Millis;

namespace {

// Bytes the unit has written to its port so far.
std::size_t written = 0;
ssize_t CountedWrite(int fd, const void* buf, size_t count) {
    const ssize_t n = ::write(fd, buf, count);
    if (n > 0)
        written += static_cast<std::size_t>(n);
    return n;
}

transport::SystemCalls CountedCalls() {
    transport::SystemCalls calls = transport::RealSystemCalls();
    calls.write = CountedWrite;
    return calls;
}

// How an exchange ended, and how often it was told so.
struct Outcome {
    int ends = 0;
    unit::Reply reply;
    std::size_t writtenThen = 0; // bytes the unit had written when it ended
    bool ended() const { return ends > 0; }
};

class UnitTest : public ::testing::Test {
protected:
    void SetUp() override {
        written = 0;
        ASSERT_EQ(koravel::OpenComPort(unit.Port(), 7), 0);
        unit.hooks.FrameSent = [this] { ++framesSent; };
        unit.hooks.FrameHeard = [this] { ++framesHeard; };
    }
    void TearDown() override {
        // Every exchange a test asked for ends, and exactly once.
        onRequest = nullptr;
        EXPECT_TRUE(RunUntil([this] { return unit.Idle(); }));
        for (const Outcome& o : outcomes_)
            EXPECT_EQ(o.ends, 1);
    }

    // A handler that records how its exchange ended.
    unit::ReplyHandler Record(Outcome*& outcome) {
        outcome = &outcomes_.emplace_back();
        return [this, o = outcome](const unit::Reply& reply) {
            ++o->ends;
            o->reply = reply;
            o->writtenThen = written;
        };
    }
    Outcome& Transact(std::uint8_t command, const Bytes& argument, bool replyFlag, int attempts,
                      int timeoutMs) {
        Outcome* o = nullptr;
        unit.Transact(command, argument, replyFlag, attempts, timeoutMs, Record(o));
        return *o;
    }
    Outcome& SendCommand(std::uint8_t command, const Bytes& argument) {
        Outcome* o = nullptr;
        unit.SendCommand(command, argument, Record(o));
        return *o;
    }
    // Asks for an exchange and runs the unit until it has ended.
    unit::Reply Exchange(std::uint8_t command, const Bytes& argument, bool replyFlag, int attempts,
                         int timeoutMs) {
        Outcome& o = Transact(command, argument, replyFlag, attempts, timeoutMs);
        EXPECT_TRUE(RunUntil([&o] { return o.ended(); }));
        return o.reply;
    }

    // The unit sees what was written to it: every request, in order, with
    // the time it came; onRequest may answer it.
    void See() {
        while (seen_ < written) {
            struct pollfd p {
                port.master(), POLLIN, 0
            };
            if (::poll(&p, 1, 2000) <= 0)
                break;
            const Bytes wire = port.ReadAvailable();
            seen_ += wire.size();
            wireSeen.insert(wireSeen.end(), wire.begin(), wire.end());
            for (std::uint8_t b : wire) {
                if (unitRx.Push(b) != frame::Feed::Frame)
                    continue;
                requests.push_back(unitRx.buffer);
                requestTimes.push_back(now);
                if (onRequest)
                    onRequest(unitRx.buffer);
            }
        }
    }
    // The loop's turn with the clock standing: the unit sees the requests,
    // and the program reads what came back, until neither has more.
    void Settle() {
        for (;;) {
            See();
            if (unit.Port().InputCount() == 0)
                return;
            unit.OnInput();
        }
    }
    // Settles, then moves the clock to the moment the unit is next due,
    // until done() holds. False when nothing more is due before limit.
    bool RunUntil(const std::function<bool()>& done, Millis limit = 100000) {
        for (;;) {
            Settle();
            if (done())
                return true;
            const Millis due = unit.NextDue();
            if (due == unit::kNever || due > limit)
                return false;
            now = std::max(now, due);
            unit.OnTimer();
        }
    }

    // Writes as the unit and waits until the bytes reached the program's
    // side of the line (a pseudo-terminal delivers them a moment later).
    void Answer(const Bytes& wire) {
        // Bytes of earlier answers may still wait: these come on top.
        const std::size_t expected = unit.Port().InputCount() + wire.size();
        port.Write(wire);
        for (int i = 0; i < 2000 && unit.Port().InputCount() < expected; ++i)
            usleep(1000);
    }

    // A reply frame on the wire: sequence, status, payload.
    static Bytes Reply(std::uint8_t sequence, std::uint8_t status, Bytes payload = {}) {
        Bytes content{sequence, status};
        content.insert(content.end(), payload.begin(), payload.end());
        return frame::Encode(content);
    }
    static Bytes Joined(Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
    // The command and argument of each request seen.
    std::vector<Bytes> Orders() const {
        std::vector<Bytes> orders;
        for (const Bytes& r : requests)
            orders.emplace_back(r.begin() + 1, r.end() - 1);
        return orders;
    }

    TempConfigDir dir;
    PtyPort port{dir.path(), 7};
    transport::SystemCalls calls = CountedCalls();
    Millis now = 0;
    unit::Unit unit{[this] { return now; }, calls};

    frame::Receiver unitRx;
    Bytes wireSeen;              // every byte the unit wrote, as it came
    std::vector<Bytes> requests; // content with checksum
    std::vector<Millis> requestTimes;
    std::function<void(const Bytes&)> onRequest;
    int framesSent = 0;
    int framesHeard = 0;

private:
    std::size_t seen_ = 0;
    std::deque<Outcome> outcomes_;
};

TEST_F(UnitTest, TransactEndsWithTheStatusAndThePayload) {
    unit.SetExchangeEnabled(true);
    onRequest = [this](const Bytes& req) { Answer(Reply(req[0], 0, {0x11, 0x22})); };
    const unit::Reply reply = Exchange(3, {0x78, 0x37}, true, 4, 100);
    EXPECT_EQ(reply.status, 0);
    ASSERT_EQ(requests.size(), 1u);
    // 12 + 1 with bit 7 for a reply, then command and argument.
    EXPECT_EQ(requests[0], frame::WithChecksum(Bytes{0x8D, 0x03, 0x78, 0x37}));
    EXPECT_EQ(reply.sequence, 0x8D);
    const Bytes payload = frame::WithChecksum(Bytes{0x8D, 0x00, 0x11, 0x22});
    EXPECT_EQ(reply.payload, Bytes(payload.begin() + 2, payload.end()));
    EXPECT_EQ(unit.ReplyBuffer(), reply.payload);
    EXPECT_EQ(framesHeard, 1);
    EXPECT_EQ(framesSent, 1);

    // A refusal comes back unchanged; a status of 255 looks like no reply.
    onRequest = [this](const Bytes& req) { Answer(Reply(req[0], 7)); };
    EXPECT_EQ(Exchange(4, {}, true, 4, 100).status, 7);
    onRequest = [this](const Bytes& req) { Answer(Reply(req[0], 255)); };
    EXPECT_EQ(Exchange(4, {}, true, 1, 100).status, unit::kNoReply);
    EXPECT_EQ(requests.size(), 3u);
}

TEST_F(UnitTest, SequenceBytesAndTheirWrap) {
    unit.SetExchangeEnabled(true);
    onRequest = [this](const Bytes& req) { Answer(Reply(req[0], 0)); };
    Exchange(1, {}, false, 1, 200);
    // The first status request is the worked example.
    EXPECT_EQ(wireSeen, (Bytes{0xF5, 0x0D, 0x01, 0x59, 0xFA}));
    unit.SetSequenceCounter(127);
    Exchange(1, {}, false, 1, 200);
    EXPECT_EQ(requests.back()[0], 0x00);
    unit.SetSequenceCounter(127);
    Exchange(3, {0, 0}, true, 1, 100);
    EXPECT_EQ(requests.back()[0], 0x80);

    onRequest = nullptr;
    unit.SetSequenceCounter(127);
    unit.SendRequest(1, {});
    EXPECT_EQ(unit.LastSentSequence(), 128);
    EXPECT_EQ(unit.LastSentCommand(), 1);
    unit.SendRequest(2, {});
    EXPECT_EQ(unit.LastSentSequence(), 1);
    EXPECT_EQ(unit.LastSentCommand(), 2);
    Settle();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[3][0], 0x80);
    EXPECT_EQ(requests[4][0], 0x01);
}

// An attempt's time-out is counted in the clock's 50 ms ticks: 100 ms ends
// at the third tick after the send, wherever in its tick the send fell.
TEST_F(UnitTest, UnansweredExchangeSendsOncePerAttemptAndTimesOutAtTheThirdTick) {
    unit.SetExchangeEnabled(true);
    now = 30;
    Outcome& o = Transact(3, {0x78, 0x37}, true, 4, 100);
    Settle();
    now = 149;
    unit.OnTimer();
    EXPECT_EQ(unit.ExchangeElapsed(), 100);
    EXPECT_EQ(unit.NextDue(), 150);
    ASSERT_TRUE(RunUntil([&o] { return o.ended(); }));
    EXPECT_EQ(o.reply.status, unit::kNoReply);
    EXPECT_FALSE(o.reply.superseded);
    ASSERT_EQ(requests.size(), 4u);
    for (const Bytes& r : requests)
        EXPECT_EQ(r[0], 0x8D); // the same sequence byte on every attempt
    EXPECT_EQ(requestTimes, (std::vector<Millis>{30, 150, 300, 450}));
    EXPECT_EQ(now, 600);

    // The time counted stops at its largest value.
    Outcome& late = Transact(3, {0x78, 0x37}, true, 1, 100);
    now += Millis{1} << 40;
    EXPECT_EQ(unit.ExchangeElapsed(), INT32_MAX);
    ASSERT_TRUE(RunUntil([&late] { return late.ended(); }));
    EXPECT_EQ(unit.ExchangeElapsed(), 0);
}

TEST_F(UnitTest, DisabledExchangeSendsNothing) {
    Outcome& off = Transact(3, {0x78, 0x37}, true, 4, 100);
    EXPECT_TRUE(off.ended()) << "ends at once";
    EXPECT_EQ(off.reply.status, unit::kNoReply);
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(unit.Idle());

    // Cleared while waiting: no attempt follows, and the exchange ends when
    // the one under way runs out.
    unit.SetExchangeEnabled(true);
    Outcome& cleared = Transact(3, {0x78, 0x37}, true, 4, 100);
    Settle();
    unit.SetExchangeEnabled(false);
    ASSERT_TRUE(RunUntil([&cleared] { return cleared.ended(); }));
    EXPECT_EQ(cleared.reply.status, unit::kNoReply);
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_EQ(now, 150);
}

TEST_F(UnitTest, FramesWithOtherSequenceBytesAndDamagedFramesAreSkipped) {
    unit.SetExchangeEnabled(true);
    onRequest = [this](const Bytes& req) {
        Bytes stream = Reply(static_cast<std::uint8_t>(req[0] ^ 0x01), 0); // another request's
        Bytes bad = Reply(req[0], 9);
        bad[bad.size() - 2] ^= 0x40; // damaged checksum
        stream = Joined(stream, bad);
        stream = Joined(stream, Bytes{0x00, 0x13, frame::kEnd}); // noise
        Answer(Joined(stream, Reply(req[0], 0, {0x42})));
    };
    const unit::Reply reply = Exchange(3, {0x78, 0x37}, true, 4, 100);
    EXPECT_EQ(reply.status, 0);
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_EQ(reply.payload[0], 0x42);
    // Both intact frames restarted the poll's silence count.
    EXPECT_EQ(framesHeard, 2);
}

// A frame of the sequence byte and its checksum alone carries no status:
// its checksum must not pass for one (for sequence 0xAA it is 0, "done").
TEST_F(UnitTest, ReplyWithoutAStatusByteIsNoReply) {
    unit.SetExchangeEnabled(true);
    unit.SetSequenceCounter(0x29); // the next sequence byte is 0xAA
    onRequest = [this](const Bytes& req) { Answer(frame::Encode(Bytes{req[0]})); };
    EXPECT_EQ(Exchange(3, {0x78, 0x37}, true, 4, 100).status, unit::kNoReply);
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0][0], 0xAA);

    // The wait goes on past it to the full reply.
    requests.clear();
    onRequest = [this](const Bytes& req) {
        Answer(Joined(frame::Encode(Bytes{req[0]}), Reply(req[0], 0, {0x42})));
    };
    const unit::Reply reply = Exchange(3, {0x78, 0x37}, true, 4, 100);
    EXPECT_EQ(reply.status, 0);
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_EQ(reply.payload[0], 0x42);
}

TEST_F(UnitTest, AReplyInPiecesIsTakenWholeAndALongFrameIsBounded) {
    unit.SetExchangeEnabled(true);
    Outcome& o = Transact(3, {0x78, 0x37}, true, 1, 100);
    Settle();
    const Bytes wire = Reply(requests[0][0], 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    for (std::size_t i = 0; i + 1 < wire.size(); ++i) {
        Answer(Bytes{wire[i]});
        unit.OnInput();
        EXPECT_TRUE(unit.FrameReceiver().inFrame);
        EXPECT_FALSE(o.ended());
    }
    Answer(Bytes{wire.back()});
    unit.OnInput();
    ASSERT_TRUE(o.ended());
    EXPECT_EQ(o.reply.status, 0);
    EXPECT_EQ(o.reply.payload.size(), 11u);

    // A frame that never ends does not grow the receiver's buffer, and the
    // reply behind it is taken.
    Outcome& after = Transact(3, {0x78, 0x37}, true, 1, 100);
    Settle();
    Bytes endless(4000, 0x41);
    endless[0] = frame::kStart;
    Answer(endless);
    Settle();
    EXPECT_LE(unit.FrameReceiver().buffer.size(), frame::kMaxReceived);
    EXPECT_FALSE(after.ended());
    Answer(Reply(requests.back()[0], 0));
    Settle();
    ASSERT_TRUE(after.ended());
    EXPECT_EQ(after.reply.status, 0);
}

// Commands supersede each other: once a newer one is asked for, an older one
// ends at once and sends nothing more, so the unit's last order is the
// newest. A plain exchange (a set-up block write) is never superseded: a
// command waits for its end and goes out before the exchange its handler
// asks for next.
TEST_F(UnitTest, NewestCommandWinsAndBlockWritesKeepTheirTurn) {
    const Bytes older{0x03, 0x8A, 0x1B}; // tune 7050 kHz: never answered
    const Bytes newer{0x03, 0x78, 0x37}; // tune 14200 kHz
    onRequest = [&](const Bytes& req) {
        if (Bytes(req.begin() + 1, req.end() - 1) != older)
            Answer(Reply(req[0], 0));
    };

    // Asked for while the older one waits for its first answer: the older
    // ends superseded before the newer goes out, and is never sent again.
    Outcome& first = SendCommand(3, {0x8A, 0x1B});
    Settle();
    const std::size_t olderBytes = written;
    now = 60;
    Outcome& second = SendCommand(3, {0x78, 0x37});
    EXPECT_TRUE(first.ended());
    EXPECT_TRUE(first.reply.superseded);
    EXPECT_EQ(first.reply.status, unit::kNoReply);
    EXPECT_EQ(first.writtenThen, olderBytes) << "ended before the newer went out";
    ASSERT_TRUE(RunUntil([&] { return second.ended(); }));
    EXPECT_EQ(second.reply.status, 0);
    EXPECT_FALSE(second.reply.superseded);
    EXPECT_EQ(Orders(), (std::vector<Bytes>{older, newer}));

    // A block write waits for its reply; the block after it is asked for
    // from its handler, as the set-up transfer does. Commands asked for in
    // the meantime: the older never goes out, the newer goes between the
    // two blocks.
    requests.clear();
    const Bytes block1{0x04, 0x05, 0x00, 0x01};
    const Bytes block2{0x04, 0x06, 0x00, 0x02};
    Outcome* next = nullptr;
    Outcome* firstBlock = nullptr;
    onRequest = nullptr;
    unit.Transact(4, Bytes{0x05, 0x00, 0x01}, true, 4, 6000,
                  [this, &next, record = Record(firstBlock)](const unit::Reply& reply) {
                      record(reply);
                      next = &Transact(4, {0x06, 0x00, 0x02}, true, 4, 6000);
                  });
    Settle();
    Outcome& unsent = SendCommand(3, {0x8A, 0x1B});
    Outcome& sent = SendCommand(3, {0x78, 0x37});
    EXPECT_TRUE(unsent.ended() && unsent.reply.superseded);
    EXPECT_FALSE(firstBlock->ended());
    // The block's first attempt runs out: it is sent again, the command
    // still waits.
    ASSERT_TRUE(RunUntil([this] { return requests.size() == 2; }));
    EXPECT_EQ(Orders(), (std::vector<Bytes>{block1, block1}));
    onRequest = [this](const Bytes& req) { Answer(Reply(req[0], 0)); };
    Answer(Reply(requests.back()[0], 0));
    ASSERT_TRUE(RunUntil([&] { return next != nullptr && next->ended(); }));
    EXPECT_EQ(firstBlock->reply.status, 0);
    EXPECT_EQ(sent.reply.status, 0);
    EXPECT_EQ(next->reply.status, 0);
    EXPECT_EQ(Orders(), (std::vector<Bytes>{block1, block1, newer, block2}));
}

// The poll's requests wait for nothing; their answers, however late and
// whoever waits meanwhile, are kept for the next poll tick.
TEST_F(UnitTest, PollTakesLateAnswersToItsRecentRequests) {
    std::vector<std::uint8_t> sequences;
    const auto request = [&] {
        unit.SendRequest(1, {});
        See();
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
    unit::PollAnswers tick = unit.CollectPollAnswers();
    EXPECT_TRUE(tick.answered);
    EXPECT_FALSE(tick.otherFrames);
    EXPECT_EQ(tick.command, 1);
    EXPECT_EQ(tick.newest, frame::WithChecksum(Bytes{sequences[1], 0, 0xA1}));
    EXPECT_EQ(unit.Port().InputCount(), 0u) << "every frame waiting was read";

    // An answer to a request before the one shown is older news; an answer
    // to a request beyond the last eight answers nothing.
    answer(sequences[0], 0xA0);
    tick = unit.CollectPollAnswers();
    EXPECT_FALSE(tick.answered);
    EXPECT_TRUE(tick.otherFrames);
    for (int i = 0; i < 8; ++i)
        request();
    answer(sequences[2], 0xA2); // nine requests ago
    tick = unit.CollectPollAnswers();
    EXPECT_FALSE(tick.answered);
    answer(sequences[3], 0xA3); // eight requests ago
    unit.OnInput();             // read by the loop before the tick: kept for it
    tick = unit.CollectPollAnswers();
    EXPECT_TRUE(tick.answered);
    EXPECT_EQ(tick.newest[0], sequences[3]);
    // Nothing waiting: a silent tick.
    tick = unit.CollectPollAnswers();
    EXPECT_FALSE(tick.answered);
    EXPECT_FALSE(tick.otherFrames);

    // An answer that comes while a command waits, ahead of the command's
    // reply or behind it, is the poll's; the command takes its own. Frames
    // that answer nothing while an exchange waits are its business, not the
    // poll's.
    request();
    const std::uint8_t status = sequences.back();
    onRequest = [&](const Bytes& req) {
        if (req[1] == 3)
            Answer(Joined(Joined(Reply(0x7E, 0), Reply(status, 0, {13, 1})),
                          Reply(req[0], 0, {0x33})));
    };
    Outcome& command = SendCommand(3, {0x78, 0x37});
    ASSERT_TRUE(RunUntil([&] { return command.ended(); }));
    EXPECT_EQ(command.reply.payload[0], 0x33);
    tick = unit.CollectPollAnswers();
    EXPECT_TRUE(tick.answered);
    EXPECT_FALSE(tick.otherFrames);
    EXPECT_EQ(tick.newest, frame::WithChecksum(Bytes{status, 0, 13, 1}));
    request();
    const std::uint8_t behind = sequences.back();
    onRequest = [&](const Bytes& req) {
        if (req[1] == 3)
            Answer(Joined(Reply(req[0], 0), Reply(behind, 0, {13, 2})));
    };
    Outcome& again = SendCommand(3, {0x78, 0x37});
    ASSERT_TRUE(RunUntil([&] { return again.ended(); }));
    tick = unit.CollectPollAnswers();
    EXPECT_TRUE(tick.answered);
    EXPECT_EQ(tick.newest[0], behind);
}

// A new request takes a sequence byte that an earlier status request of the
// poll had: a frame with that byte answers the new request, never the poll's,
// whether it was read before the new request went out or after.
TEST_F(UnitTest, ASequenceByteTakenAgainAnswersOnlyTheNewRequest) {
    unit.SetExchangeEnabled(true);
    unit.SetSequenceCounter(127);
    unit.SendRequest(1, {}); // sequence 0x80
    See();
    ASSERT_EQ(requests.back()[0], 0x80);
    Answer(Reply(0x80, 0, {13, 1}));
    unit.OnInput(); // read, kept for the next tick
    unit.SetSequenceCounter(127);
    Outcome& command = SendCommand(3, {0x78, 0x37}); // takes 0x80 again
    See();
    ASSERT_EQ(requests.back()[0], 0x80);
    EXPECT_FALSE(unit.CollectPollAnswers().answered) << "the earlier answer went with its request";
    EXPECT_FALSE(command.ended()) << "nor did the command take it";

    Answer(Reply(0x80, 0, {0x44}));
    ASSERT_TRUE(RunUntil([&] { return command.ended(); }));
    EXPECT_EQ(command.reply.payload[0], 0x44);
    const unit::PollAnswers tick = unit.CollectPollAnswers();
    EXPECT_FALSE(tick.answered);
    EXPECT_TRUE(unit.RecentRequests().empty());
}

// A set-up transfer lets the line settle, then drains what is stale until
// the line has been quiet for a pause, and only then asks for the unit's
// status. The loop reads the port all the while: what it read counts as
// stale as much as what the drain drops.
TEST_F(UnitTest, ASetUpTransferAsksOnceTheLineIsQuiet) {
    setup::Transfer transfer(unit);
    std::optional<setup::TransferResult> result;
    transfer.Send(ini::Profile::FromText("[Factory]\nmot_maxvel=1\n"), {},
                  [&result](const setup::TransferResult& r) { result = r; });
    Answer(Bytes{0x13, 0x00, 0x13}); // during the settle, read by the loop
    unit.OnInput();
    now = setup::kSettleMs;
    unit.OnTimer();
    Answer(Bytes{0x13}); // during the pause, read by the loop
    unit.OnInput();
    now += setup::kDrainPauseMs;
    unit.OnTimer();
    Answer(Bytes{0x13}); // during the next, left at the port
    now += setup::kDrainPauseMs;
    unit.OnTimer();
    See();
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(unit.Port().InputCount(), 0) << "the drain took it";
    now += setup::kDrainPauseMs;
    unit.OnTimer(); // a quiet pause: the preparing status request
    See();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0][1], 1);
    EXPECT_EQ(requestTimes[0], setup::kSettleMs + 3 * setup::kDrainPauseMs);
    ASSERT_TRUE(RunUntil([&result] { return result.has_value(); }));
    EXPECT_EQ(result->outcome, setup::TransferResult::Outcome::FirmwareUnknown);
}

} // namespace
