// Transact over a port whose replies are arbitrary bytes arriving in chunks
// of any size, with time counted by the 50 ms tick.
//
// Input: command, a flags byte (reply flag, exchange enabled, attempts,
// chunk size), a time-out byte, the sequence counter's start value, an
// argument length and the argument, then the bytes the line delivers.
// Checked:
//  - the request goes out as its encoded frame, in one write, once per
//    attempt, with the sequence byte the counter and reply flag give;
//  - Transact returns the status of the first received frame that echoes
//    the sequence byte and holds a status byte (three content bytes at the
//    least), and stops reading right at that frame's end byte, leaving its
//    payload and checksum in ReplyBuffer; every frame is counted as
//    received; frames with another sequence byte are kept unclaimed for
//    their owners (the latest kUnclaimedFrames of them, in order), shorter
//    ones with the sequence byte are dropped;
//  - without such a frame it returns kNoReply after every attempt has run
//    out its time-out; with the exchange disabled it sends nothing.
#include "fake_port.h"
#include "fuzz_check.h"
#include "reference_receiver.h"

#include "unit/exchange.h"
#include "protocol/frame.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

using koravel::Bytes;
using koravel::ByteView;

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<Input> parsed = Parse(data, size);
    if (!parsed)
        return 0;
    const Input& in = *parsed;

    fuzz::FakePort port;
    port.Queue(in.line);
    exchange::ResetExchange();
    exchange::Trace = nullptr;
    exchange::SequenceCounter = in.startSequence;
    exchange::ExchangeEnabled = in.enabled;

    fuzz::Dice dice(static_cast<std::uint32_t>(size) * 2654435761u + in.command);
    int sends = 0;
    int framesSeen = 0;
    int passes = 0;
    exchange::ExchangeHooks.LightTx = [&] { ++sends; };
    exchange::ExchangeHooks.ProcessMessages = [&] {
        port.Deliver(dice.Below(in.largestChunk + 1));
    };
    exchange::ExchangeHooks.FrameReceived = [&] { ++framesSeen; };
    exchange::ExchangeHooks.Sleep = [&](int ms) {
        FUZZ_CHECK(ms == exchange::kWaitPassMs);
        // Five 10 ms passes make one 50 ms tick.
        if (++passes % 5 == 0)
            exchange::TimerTick();
    };

    const std::uint8_t status =
        exchange::Transact(in.command, in.argument, in.replyFlag, in.attempts, in.timeoutMs);

    const auto sequence =
        static_cast<std::uint8_t>(((in.startSequence + 1) & 0x7F) | (in.replyFlag ? 0x80 : 0x00));
    Bytes content{sequence, in.command};
    content.insert(content.end(), in.argument.begin(), in.argument.end());
    const Bytes wire = frame::Encode(content);

    // What went out: the frame once per attempt made, each in one write.
    FUZZ_CHECK(port.WriteCalls() == static_cast<std::size_t>(sends));
    FUZZ_CHECK(port.Written().size() == wire.size() * static_cast<std::size_t>(sends));
    for (int i = 0; i < sends; ++i)
        FUZZ_CHECK(std::equal(wire.begin(), wire.end(), port.Written().begin() + i * wire.size()));
    FUZZ_CHECK(sends <= in.attempts);

    if (!in.enabled) {
        FUZZ_CHECK(status == exchange::kNoReply);
        FUZZ_CHECK(sends == 0 && port.Consumed().empty());
        exchange::ExchangeHooks = {};
        return 0;
    }
    FUZZ_CHECK(sends >= 1);

    // What came in, as the wire format reads it.
    fuzz::ReferenceReceiver ref;
    std::vector<Bytes> frames;
    std::vector<Bytes> others;
    std::optional<Bytes> match;
    bool endedOnMatch = false;
    for (std::uint8_t b : port.Consumed()) {
        endedOnMatch = false;
        if (ref.Push(b) != fuzz::ReferenceReceiver::Event::Frame)
            continue;
        frames.push_back(ref.content);
        if (ref.content[0] != sequence) {
            others.push_back(ref.content);
        } else if (!match && ref.content.size() >= 3) {
            match = ref.content;
            endedOnMatch = true;
        }
    }
    FUZZ_CHECK(framesSeen == static_cast<int>(frames.size()));
    const std::size_t kept = std::min(others.size(), exchange::kUnclaimedFrames);
    FUZZ_CHECK(exchange::UnclaimedFrames.size() == kept);
    FUZZ_CHECK(std::equal(exchange::UnclaimedFrames.begin(), exchange::UnclaimedFrames.end(),
                          others.end() - static_cast<std::ptrdiff_t>(kept)));

    if (match) {
        FUZZ_CHECK(endedOnMatch); // nothing read past the matching frame
        FUZZ_CHECK(status == (*match)[1]);
        FUZZ_CHECK(exchange::ReplyBuffer == Bytes(match->begin() + 2, match->end()));
    } else {
        FUZZ_CHECK(status == exchange::kNoReply);
        FUZZ_CHECK(sends == in.attempts);
        FUZZ_CHECK(exchange::ExchangeElapsed > in.timeoutMs);
    }
    exchange::ExchangeHooks = {};
    exchange::ResetExchange();
    return 0;
}
