// The wire format of the control unit's frames, as pure functions: checksum,
// escaping, encoding and a byte-at-a-time receiver. Nothing here waits or
// touches a device.
//
//   F5 <content, escaped> FA       content = sequence, command/status,
//                                  argument/payload..., checksum
#pragma once

#include "protocol/bytes.h"

#include <cstdint>

namespace frame {

constexpr std::uint8_t kStart = 0xF5;
constexpr std::uint8_t kEnd = 0xFA;
constexpr std::uint8_t kEscape = 0xF6;
constexpr std::uint8_t kChecksumSeed = 0x55;
// Content bytes before the checksum, at most.
constexpr std::size_t kMaxContent = 255;
// The longest content a receiver keeps: the content and its checksum.
constexpr std::size_t kMaxReceived = kMaxContent + 1;

// Runs the checksum over bytes: from 0x55, XOR each byte in, then add 1.
std::uint8_t Checksum(koravel::ByteView bytes, std::uint8_t seed = kChecksumSeed);
// True when content that ends in its checksum byte is intact.
bool ChecksumValid(koravel::ByteView contentWithChecksum);

// True for the byte values that travel escaped (F5, F6, FA).
constexpr bool NeedsEscape(std::uint8_t b) {
    return b == kStart || b == kEscape || b == kEnd;
}
// Appends one content byte as it goes on the wire.
void AppendEscaped(koravel::Bytes& wire, std::uint8_t b);
// The whole frame on the wire for content without its checksum: start byte,
// escaped content, escaped checksum, end byte.
koravel::Bytes Encode(koravel::ByteView content);
// The content of a frame plus its checksum.
koravel::Bytes WithChecksum(koravel::ByteView content);

// What one received byte did to the receiver.
enum class Feed {
    Pending,  // nothing complete yet
    Frame,    // an intact frame of at least two bytes is in the buffer
    Rejected, // an end byte closed a frame that is corrupt or too short
};

// Receiver state: the content of the frame being received (or last
// received), inside-a-frame and escape-pending flags. The owner keeps it
// between calls, so a frame may arrive in pieces.
struct Receiver {
    koravel::Bytes buffer;
    bool inFrame = false;
    bool escapePending = false;

    // Takes one byte from the line. A frame longer than kMaxReceived is
    // dropped: the receiver waits for the next start byte.
    Feed Push(std::uint8_t b);
    void Reset();
};

} // namespace frame
