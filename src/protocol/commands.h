// The unit's commands: their numbers, the argument of command 3 (tune), the
// band buttons of the unit's face and the beam directions.
//
//   1 status request      no argument; the reply carries the status (status_reply.h)
//   2 retract             no argument
//   3 tune                frequency in kHz (2 bytes, LE), optionally a direction byte
//   4 write a set-up block   block number (2 bytes, LE), then the block's bytes
#pragma once

#include "protocol/bytes.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace koravel {

constexpr std::uint8_t kCommandStatus = 1;
constexpr std::uint8_t kCommandRetract = 2;
constexpr std::uint8_t kCommandTune = 3;
constexpr std::uint8_t kCommandWriteBlock = 4;

// The highest frequency (kHz) that command 3 and the status reply hold.
constexpr std::uint32_t kMaxUnitKhz = 0xFFFF;

// The argument of command 3: frequency (kHz, low 16 bits, LE), and the
// direction byte when one is given. Callers keep the frequency within
// kMaxUnitKhz.
Bytes TuneArgument(std::uint32_t khz);
Bytes TuneArgument(std::uint32_t khz, std::uint8_t direction);

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

// The frequency of the band button named by its metres as text ("40",
// "20", ...); none for any other text.
std::optional<std::uint16_t> BandKhzByName(std::string_view meters);

// Beam directions of command 3's third byte and of the status reply.
constexpr std::uint8_t kDirectionNormal = 0;
constexpr std::uint8_t kDirectionReversed = 1;
constexpr std::uint8_t kDirectionBidirectional = 2;

// The directions' names, as the programs show and take them: "normal",
// "180", "bidir"; null beyond kDirectionBidirectional.
const char* DirectionName(std::uint8_t direction);
// The direction of one of those names.
std::optional<std::uint8_t> DirectionByName(std::string_view name);

} // namespace koravel
