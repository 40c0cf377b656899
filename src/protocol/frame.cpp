#include "protocol/frame.h"

namespace frame {

std::uint8_t Checksum(koravel::ByteView bytes, std::uint8_t seed) {
    std::uint8_t sum = seed;
    for (std::uint8_t b : bytes)
        sum = static_cast<std::uint8_t>((sum ^ b) + 1);
    return sum;
}

bool ChecksumValid(koravel::ByteView contentWithChecksum) {
    return Checksum(contentWithChecksum) == 1;
}

void AppendEscaped(koravel::Bytes& wire, std::uint8_t b) {
    if (NeedsEscape(b)) {
        wire.push_back(kEscape);
        wire.push_back(static_cast<std::uint8_t>(b & 0x7F));
    } else {
        wire.push_back(b);
    }
}

koravel::Bytes WithChecksum(koravel::ByteView content) {
    koravel::Bytes out(content.begin(), content.end());
    out.push_back(Checksum(content));
    return out;
}

koravel::Bytes Encode(koravel::ByteView content) {
    koravel::Bytes wire;
    wire.reserve(content.size() * 2 + 4);
    wire.push_back(kStart);
    for (std::uint8_t b : content)
        AppendEscaped(wire, b);
    AppendEscaped(wire, Checksum(content));
    wire.push_back(kEnd);
    return wire;
}

void Receiver::Reset() {
    buffer.clear();
    inFrame = false;
    escapePending = false;
}

Feed Receiver::Push(std::uint8_t b) {
    switch (b) {
    case kStart:
        buffer.clear();
        escapePending = false;
        inFrame = true;
        return Feed::Pending;
    case kEscape:
        escapePending = true;
        return Feed::Pending;
    case kEnd:
        if (!inFrame)
            return Feed::Pending;
        inFrame = false;
        if (buffer.size() >= 2 && ChecksumValid(buffer))
            return Feed::Frame;
        return Feed::Rejected;
    default:
        if (!inFrame)
            return Feed::Pending;
        if (escapePending) {
            b = static_cast<std::uint8_t>(b | 0x80);
            escapePending = false;
        }
        if (buffer.size() >= kMaxReceived) {
            // No frame is this long: drop it and wait for the next start byte.
            Reset();
            return Feed::Rejected;
        }
        buffer.push_back(b);
        return Feed::Pending;
    }
}

} // namespace frame
