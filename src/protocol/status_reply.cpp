#include "protocol/status_reply.h"

namespace koravel {

namespace {
std::uint16_t Le16(ByteView b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
} // namespace

std::optional<StatusReply> DecodeStatusReply(ByteView content) {
    if (content.size() < kStatusBodySize + 1)
        return std::nullopt;
    StatusReply r;
    r.sequence = content[0];
    r.result = content[1];
    r.fwMinor = content[2];
    r.fwMajor = content[3];
    r.freqKhz = Le16(content, 5);
    r.direction = content[8];
    r.flags = Le16(content, 9);
    r.moving = content[11];
    return r;
}

Bytes EncodeStatusBody(const StatusReply& r) {
    return Bytes{r.sequence,
                 r.result,
                 r.fwMinor,
                 r.fwMajor,
                 0,
                 static_cast<std::uint8_t>(r.freqKhz & 0xFF),
                 static_cast<std::uint8_t>(r.freqKhz >> 8),
                 0,
                 r.direction,
                 static_cast<std::uint8_t>(r.flags & 0xFF),
                 static_cast<std::uint8_t>(r.flags >> 8),
                 r.moving};
}

} // namespace koravel
