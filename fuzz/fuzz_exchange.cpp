// An exchange of a unit over a port whose replies are arbitrary bytes
// arriving in chunks of any size, on a clock of the target's own.
//
// Input: command, a flags byte (reply flag, exchange enabled, attempts,
// chunk size), a time-out byte, the sequence counter's start value, an
// argument length and the argument, then the bytes the line delivers.
// The loop is played in passes of 10 ms: a chunk arrives, the unit reads it,
// the clock moves on, and the unit's timer runs when it is due.
// Checked:
//  - the request goes out as its encoded frame, in one write, once per
//    attempt, with the sequence byte the counter and reply flag give; the
//    first at once, each next one at the tick where the one before ran out
//    (the third tick after its send for 100 ms);
//  - the exchange ends exactly once: with the status and payload of the
//    first frame read during it that echoes the sequence byte and holds a
//    status byte (three content bytes at the least), the unit's reply buffer
//    holding that payload when the handler runs; or with kNoReply once every
//    attempt has run out; with the exchange disabled at once, sending
//    nothing;
//  - every intact frame read while it waited is heard, none after; frames
//    read once it ended, answering nothing, are other frames for the poll.
#include "fake_port.h"
#include "fuzz_check.h"
#include "reference_receiver.h"

#include "protocol/frame.h"
#include "unit/unit.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

using koravel::Bytes;
using koravel::ByteView;
using unit::Millis;

struct Input {
    std::uint8_t command = 0;
    bool replyFlag = false;
    bool enabled = true;
    int attempts = 1;
    std::uint32_t largestChunk = 1;
    int timeoutMs = 0;
    std::int32_t startSequence = 0;
    Bytes argument;
    ByteView line;
};

std::optional<Input> Parse(const std::uint8_t* data, std::size_t size) {
    if (size < 5)
        return std::nullopt;
    Input in;
    in.command = data[0];
    in.replyFlag = (data[1] & 0x01) != 0;
    in.enabled = (data[1] & 0x02) == 0;
    in.attempts = 1 + ((data[1] >> 2) & 0x03);
    in.largestChunk = 1 + 4u * (data[1] >> 4);
    in.timeoutMs = data[2] * 4;
    in.startSequence = data[3];
    const std::size_t length = std::min<std::size_t>({data[4], size - 5, frame::kMaxContent - 2});
    in.argument.assign(data + 5, data + 5 + length);
    in.line = ByteView(data + 5 + length, size - 5 - length);
    return in;
}

// The tick at which an attempt sent at sentAt runs out.
Millis Deadline(Millis sentAt, int timeoutMs) {
    return (sentAt / unit::kTickMs + timeoutMs / unit::kTickMs + 1) * unit::kTickMs;
}

constexpr Millis kPassMs = 10;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<Input> parsed = Parse(data, size);
    if (!parsed)
        return 0;
    const Input& in = *parsed;

    fuzz::Dice dice(static_cast<std::uint32_t>(size) * 2654435761u + in.command);
    fuzz::FakePort port;
    port.Queue(in.line);
    Millis now = kPassMs * static_cast<Millis>(dice.Below(5));
    unit::Unit unit([&now] { return now; }, fuzz::FakePort::Calls());
    FUZZ_CHECK(unit.Port().Open(port.Path()) == 0);
    unit.SetSequenceCounter(in.startSequence);
    unit.SetExchangeEnabled(in.enabled);

    std::vector<Millis> sendTimes;
    int heard = 0;
    unit.hooks.FrameSent = [&] { sendTimes.push_back(now); };
    unit.hooks.FrameHeard = [&] { ++heard; };
    int ends = 0;
    unit::Reply reply;
    Millis endedAt = 0;
    std::size_t consumedAtEnd = 0;
    Bytes bufferAtEnd;
    unit.Transact(in.command, in.argument, in.replyFlag, in.attempts, in.timeoutMs,
                  [&](const unit::Reply& r) {
                      ++ends;
                      reply = r;
                      endedAt = now;
                      consumedAtEnd = port.Consumed().size();
                      bufferAtEnd = unit.ReplyBuffer();
                  });

    const auto sequence =
        static_cast<std::uint8_t>(((in.startSequence + 1) & 0x7F) | (in.replyFlag ? 0x80 : 0x00));
    Bytes content{sequence, in.command};
    content.insert(content.end(), in.argument.begin(), in.argument.end());
    const Bytes wire = frame::Encode(content);

    if (!in.enabled) {
        FUZZ_CHECK(ends == 1 && reply.status == unit::kNoReply && !reply.superseded);
        FUZZ_CHECK(sendTimes.empty() && port.WriteCalls() == 0);
        return 0;
    }

    // The loop, until the exchange has ended; then whatever the line still
    // holds is read, and the clock runs on a while.
    const Millis longest = in.attempts * (Deadline(0, in.timeoutMs) + unit::kTickMs);
    const Millis start = now;
    while (ends == 0) {
        FUZZ_CHECK(now - start <= longest);
        port.Deliver(dice.Below(in.largestChunk + 1));
        if (port.Waiting() > 0)
            unit.OnInput();
        now += kPassMs;
        if (now >= unit.NextDue())
            unit.OnTimer();
    }
    port.Deliver(port.Pending());
    const unit::PollAnswers after = unit.CollectPollAnswers();
    FUZZ_CHECK(port.Waiting() == 0);
    now += longest;
    unit.OnTimer();
    FUZZ_CHECK(ends == 1);
    FUZZ_CHECK(unit.Idle() && unit.NextDue() == unit::kNever);

    // What went out: the frame once per attempt made, each in one write.
    const std::size_t sends = sendTimes.size();
    FUZZ_CHECK(sends >= 1 && sends <= static_cast<std::size_t>(in.attempts));
    FUZZ_CHECK(port.WriteCalls() == sends);
    FUZZ_CHECK(port.Written().size() == wire.size() * sends);
    for (std::size_t i = 0; i < sends; ++i)
        FUZZ_CHECK(std::equal(wire.begin(), wire.end(), port.Written().begin() + i * wire.size()));
    FUZZ_CHECK(sendTimes[0] == start);
    for (std::size_t i = 1; i < sends; ++i)
        FUZZ_CHECK(sendTimes[i] == Deadline(sendTimes[i - 1], in.timeoutMs));

    // What came in, as the wire format reads it: the frames completed while
    // the exchange waited, the first that answers it, and those after.
    fuzz::ReferenceReceiver ref;
    std::optional<Bytes> match;
    int during = 0;
    bool otherFrames = false;
    for (std::size_t i = 0; i < port.Consumed().size(); ++i) {
        if (ref.Push(port.Consumed()[i]) != fuzz::ReferenceReceiver::Event::Frame)
            continue;
        if (match || i >= consumedAtEnd) {
            otherFrames = true;
            continue;
        }
        ++during;
        if (ref.content[0] == sequence && ref.content.size() >= unit::kShortestReply)
            match = ref.content;
    }
    FUZZ_CHECK(heard == during);
    FUZZ_CHECK(after.otherFrames == otherFrames);
    FUZZ_CHECK(!after.answered);

    FUZZ_CHECK(!reply.superseded && reply.sequence == sequence);
    if (match) {
        FUZZ_CHECK(reply.status == (*match)[1]);
        FUZZ_CHECK(reply.payload == Bytes(match->begin() + 2, match->end()));
        FUZZ_CHECK(bufferAtEnd == reply.payload);
    } else {
        FUZZ_CHECK(reply.status == unit::kNoReply);
        FUZZ_CHECK(sends == static_cast<std::size_t>(in.attempts));
        FUZZ_CHECK(endedAt == Deadline(sendTimes.back(), in.timeoutMs));
    }
    return 0;
}
