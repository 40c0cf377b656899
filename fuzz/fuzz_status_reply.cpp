// Status decoding over arbitrary frame content.
//
// Input: a received frame's content, checksum as its last byte.
// Checked:
//  - DecodeStatusReply gives a reply exactly when 12 bytes precede the
//    checksum, and every field comes from its documented offset (the
//    sanitizers catch any read past the data);
//  - encoding the decoded reply gives the same body, with the two unused
//    bytes at 0, and decoding that again gives the same reply;
//  - the same content sent as a frame, received and decoded gives the same
//    reply; the tune argument carries the low 16 bits of any frequency.
#include "fuzz_check.h"

#include "protocol/frame.h"
#include "protocol/status_reply.h"

#include <optional>

namespace {

using koravel::Bytes;
using koravel::ByteView;

bool SameReply(const koravel::StatusReply& a, const koravel::StatusReply& b) {
    return a.sequence == b.sequence && a.result == b.result && a.fwMinor == b.fwMinor &&
           a.fwMajor == b.fwMajor && a.freqKhz == b.freqKhz && a.direction == b.direction &&
           a.flags == b.flags && a.moving == b.moving;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteView content(data, size);
    const std::optional<koravel::StatusReply> reply = koravel::DecodeStatusReply(content);
    FUZZ_CHECK(reply.has_value() == (size >= koravel::kStatusBodySize + 1));

    if (reply) {
        const koravel::StatusReply& r = *reply;
        FUZZ_CHECK(r.sequence == data[0] && r.result == data[1]);
        FUZZ_CHECK(r.fwMinor == data[2] && r.fwMajor == data[3]);
        FUZZ_CHECK(r.FirmwareVersion() == data[3] * 256 + data[2]);
        FUZZ_CHECK(r.freqKhz == (data[5] | data[6] << 8));
        FUZZ_CHECK(r.direction == data[8]);
        FUZZ_CHECK(r.flags == (data[9] | data[10] << 8));
        FUZZ_CHECK(r.moving == data[11]);

        const Bytes body = koravel::EncodeStatusBody(r);
        FUZZ_CHECK(body.size() == koravel::kStatusBodySize);
        for (std::size_t i = 0; i < body.size(); ++i)
            FUZZ_CHECK(body[i] == (i == 4 || i == 7 ? 0 : data[i]));
        const std::optional<koravel::StatusReply> again =
            koravel::DecodeStatusReply(frame::WithChecksum(body));
        FUZZ_CHECK(again && SameReply(*again, r));

        // Through the receiver: the content without its last byte goes out as
        // a frame; what comes in decodes the same.
        const ByteView body0 = content.first(std::min(size - 1, frame::kMaxContent));
        frame::Receiver rx;
        int frames = 0;
        for (std::uint8_t b : frame::Encode(body0)) {
            if (rx.Push(b) == frame::Feed::Frame) {
                ++frames;
                const std::optional<koravel::StatusReply> received =
                    koravel::DecodeStatusReply(rx.buffer);
                FUZZ_CHECK(received && SameReply(*received, r));
            }
        }
        FUZZ_CHECK(frames == 1);
    }

    if (size >= 4) {
        const std::uint32_t khz =
            data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
        const Bytes arg = koravel::TuneArgument(khz);
        FUZZ_CHECK(arg.size() == 2 && (arg[0] | arg[1] << 8) == (khz & 0xFFFF));
        const Bytes withDirection = koravel::TuneArgument(khz, data[size - 1]);
        FUZZ_CHECK(withDirection.size() == 3 && withDirection[2] == data[size - 1]);
        FUZZ_CHECK(withDirection[0] == arg[0] && withDirection[1] == arg[1]);
    }
    return 0;
}
