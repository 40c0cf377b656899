// The unit's status reply to command 1, as the frame receiver delivers it
// (sequence byte first, checksum last):
//
//   0 sequence   1 result   2 fw_minor   3 fw_major   4 -
//   5 freq_khz (2, LE)      7 -          8 direction  9 flags (2, LE)
//   11 moving    12 checksum
#pragma once

#include "protocol/bytes.h"
#include "protocol/commands.h"

#include <cstdint>
#include <optional>

namespace koravel {

// Body bytes a status reply needs before its checksum.
constexpr std::size_t kStatusBodySize = 12;

// Flag bits of the status reply.
constexpr std::uint16_t kFlagDarkPanel = 0x0002;
constexpr std::uint16_t kFlagCustom = 0x0100;

struct StatusReply {
    std::uint8_t sequence = 0;
    std::uint8_t result = 0;
    std::uint8_t fwMinor = 0;
    std::uint8_t fwMajor = 0;
    std::uint16_t freqKhz = 0;
    std::uint8_t direction = 0;
    std::uint16_t flags = 0;
    std::uint8_t moving = 0;

    int FirmwareVersion() const { return fwMajor * 256 + fwMinor; }
};

// Decodes a received frame's content (checksum as its last byte). nullopt when
// fewer than 12 bytes precede the checksum: nothing is read past the data.
std::optional<StatusReply> DecodeStatusReply(ByteView contentWithChecksum);

// The 12-byte body of a status reply (checksum not included).
Bytes EncodeStatusBody(const StatusReply& reply);

} // namespace koravel
