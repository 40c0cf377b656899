// The frame receiver over arbitrary byte streams.
//
// Input: one byte that plans the chunks, then the bytes of the line.
// Checked:
//  - byte by byte, frame::Receiver does what the wire format says (a second,
//    plain receiver agrees on every byte), its buffer never grows past
//    frame::kMaxReceived, and every frame it reports has at least two bytes
//    and a checksum that gives 1;
//  - a unit, reading the same stream through its port in chunks of any size
//    (empty ones and failing reads included) while an exchange waits, hears
//    the same frames in the same order;
//  - Encode then receive gives back any content of 1 to 255 bytes whatever
//    state the stream left the receiver in; content of 256 bytes or more never
//    comes out as a frame.
#include "fake_port.h"
#include "fuzz_check.h"
#include "reference_receiver.h"

#include "protocol/frame.h"
#include "unit/unit.h"

#include <functional>
#include <vector>

namespace {

using koravel::Bytes;
using koravel::ByteView;

std::vector<Bytes> ByteByByte(ByteView stream, frame::Receiver& rx) {
    fuzz::ReferenceReceiver ref;
    std::vector<Bytes> frames;
    for (std::uint8_t b : stream) {
        const frame::Feed feed = rx.Push(b);
        const fuzz::ReferenceReceiver::Event expected = ref.Push(b);
        FUZZ_CHECK(rx.buffer.size() <= frame::kMaxReceived);
        FUZZ_CHECK(rx.inFrame == ref.open);
        switch (expected) {
        case fuzz::ReferenceReceiver::Event::None:
            FUZZ_CHECK(feed == frame::Feed::Pending);
            break;
        case fuzz::ReferenceReceiver::Event::Rejected:
            FUZZ_CHECK(feed == frame::Feed::Rejected);
            break;
        case fuzz::ReferenceReceiver::Event::Frame:
            FUZZ_CHECK(feed == frame::Feed::Frame);
            break;
        }
        if (ref.open)
            FUZZ_CHECK(rx.buffer == ref.content);
        if (feed == frame::Feed::Frame) {
            FUZZ_CHECK(rx.buffer == ref.content);
            FUZZ_CHECK(rx.buffer.size() >= 2);
            FUZZ_CHECK(frame::ChecksumValid(rx.buffer));
            FUZZ_CHECK(fuzz::ChecksumGivesOne(rx.buffer));
            frames.push_back(rx.buffer);
        }
    }
    return frames;
}

std::vector<Bytes> InChunks(ByteView stream, std::uint8_t plan) {
    fuzz::FakePort port;
    unit::Unit unit([] { return unit::Millis{0}; }, fuzz::FakePort::Calls());
    FUZZ_CHECK(unit.Port().Open(port.Path()) == 0);
    port.Queue(stream);
    if (plan & 0x80)
        port.FailEveryNthRead(2 + (plan & 0x07));
    const std::uint32_t largest = 1 + (plan & 0x3F);
    fuzz::Dice dice(0x01000193u * plan + static_cast<std::uint32_t>(stream.size()));

    // An exchange always waits (the clock stands, so none runs out; each
    // that ends asks for the next): every intact frame is heard, and the
    // unit's reply buffer holds it when it is.
    std::vector<Bytes> frames;
    unit.hooks.FrameHeard = [&] {
        FUZZ_CHECK(unit.ReplyBuffer().size() >= 2);
        FUZZ_CHECK(unit.ReplyBuffer().size() <= frame::kMaxReceived);
        FUZZ_CHECK(frame::ChecksumValid(unit.ReplyBuffer()));
        frames.push_back(unit.ReplyBuffer());
    };
    unit.SetExchangeEnabled(true);
    std::function<void(const unit::Reply&)> again = [&](const unit::Reply&) {
        unit.Transact(1, {}, false, 1, 1 << 20, again);
    };
    again(unit::Reply{});

    while (port.Pending() > 0) {
        // A chunk of 0 to `largest` bytes becomes waiting; the loop reads
        // until nothing waits, as it does whenever the port has input.
        port.Deliver(dice.Below(largest + 1));
        for (int idle = 0; idle < 64;) {
            const std::size_t before = port.Waiting();
            unit.OnInput();
            if (port.Waiting() == 0)
                break;
            idle = port.Waiting() == before ? idle + 1 : 0;
        }
        FUZZ_CHECK(port.Waiting() == 0); // a failing read never wedges the reader
    }
    FUZZ_CHECK(!unit.Idle());
    unit.hooks = {};
    return frames;
}

void RoundTrip(ByteView content, frame::Receiver& rx) {
    const Bytes wire = frame::Encode(content);
    // The wire: start, content and checksum with F5 F6 FA escaped, end.
    std::size_t reserved = 0;
    for (std::uint8_t b : content)
        reserved += frame::NeedsEscape(b) ? 1 : 0;
    reserved += frame::NeedsEscape(frame::Checksum(content)) ? 1 : 0;
    FUZZ_CHECK(wire.size() == content.size() + 3 + reserved);
    FUZZ_CHECK(wire.front() == frame::kStart && wire.back() == frame::kEnd);
    for (std::size_t i = 1; i + 1 < wire.size(); ++i) {
        FUZZ_CHECK(wire[i] != frame::kStart && wire[i] != frame::kEnd);
        if (wire[i] == frame::kEscape) {
            FUZZ_CHECK(i + 2 < wire.size());
            const std::uint8_t next = wire[++i];
            FUZZ_CHECK(next == 0x75 || next == 0x76 || next == 0x7A);
        }
    }

    const Bytes expected = frame::WithChecksum(content);
    FUZZ_CHECK(frame::ChecksumValid(expected));
    int frames = 0;
    for (std::size_t i = 0; i < wire.size(); ++i) {
        const frame::Feed feed = rx.Push(wire[i]);
        FUZZ_CHECK(rx.buffer.size() <= frame::kMaxReceived);
        if (feed == frame::Feed::Frame) {
            ++frames;
            FUZZ_CHECK(i + 1 == wire.size());
            FUZZ_CHECK(rx.buffer == expected);
        }
    }
    if (content.empty() || content.size() > frame::kMaxContent)
        FUZZ_CHECK(frames == 0);
    else
        FUZZ_CHECK(frames == 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t plan = data[0];
    const ByteView stream(data + 1, size - 1);

    frame::Receiver rx;
    const std::vector<Bytes> frames = ByteByByte(stream, rx);
    FUZZ_CHECK(InChunks(stream, plan) == frames);

    // Whatever state the stream left the receiver in, a whole frame after it
    // comes through; so does one on a fresh receiver.
    const ByteView content = stream.subspan(0, std::min(stream.size(), frame::kMaxContent));
    RoundTrip(content, rx);
    frame::Receiver fresh;
    RoundTrip(content, fresh);
    if (stream.size() > frame::kMaxContent) {
        frame::Receiver tooLong;
        RoundTrip(stream.subspan(0, std::min<std::size_t>(stream.size(), 2 * frame::kMaxContent)),
                  tooLong);
    }
    return 0;
}
