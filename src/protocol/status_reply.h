// The unit's status reply to command 1, as the frame receiver delivers it
// (sequence byte first, checksum last):
//
//   0 sequence   1 result   2 fw_minor   3 fw_major   4 -
//   5 freq_khz (2, LE)      7 -          8 direction  9 flags (2, LE)
//   11 moving    12 checksum
#pragma once

#include "protocol/bytes.h"

#include <cstdint>
#include <optional>

namespace koravel {

constexpr std::uint8_t kCommandStatus = 1;
constexpr std::uint8_t kCommandRetract = 2;
constexpr std::uint8_t kCommandTune = 3;
constexpr std::uint8_t kCommandWriteBlock = 4;

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

// The highest frequency (kHz) that command 3 and the status reply hold.
constexpr std::uint32_t kMaxUnitKhz = 0xFFFF;

// The argument of command 3: frequency (kHz, low 16 bits, LE), and the
// direction byte when one is given. Callers keep the frequency within
// kMaxUnitKhz.
Bytes TuneArgument(std::uint32_t khz);
Bytes TuneArgument(std::uint32_t khz, std::uint8_t direction);

} // namespace koravel

namespace koravel {

// The band buttons of the unit's face and the frequency each one tunes to.
struct BandButton {
    int meters;
    std::uint16_t khz;
};
inline constexpr BandButton kBandButtons[] = {{40, 7050},  {30, 10125}, {20, 14200}, {17, 18100},
                                              {15, 21200}, {12, 24950}, {10, 28500}, {6, 50100}};

// The frequency of the band button for a band in metres (0 for none).
constexpr std::uint16_t BandKhz(int meters) {
    for (const auto& band : kBandButtons) {
        if (band.meters == meters)
            return band.khz;
    }
    return 0;
}

// Beam directions of command 3's third byte and of the status reply.
constexpr std::uint8_t kDirectionNormal = 0;
constexpr std::uint8_t kDirectionReversed = 1;
constexpr std::uint8_t kDirectionBidirectional = 2;

} // namespace koravel
