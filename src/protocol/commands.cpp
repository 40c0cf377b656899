#include "protocol/commands.h"

#include <string>

namespace koravel {

Bytes TuneArgument(std::uint32_t khz) {
    return Bytes{static_cast<std::uint8_t>(khz & 0xFF),
                 static_cast<std::uint8_t>((khz >> 8) & 0xFF)};
}

Bytes TuneArgument(std::uint32_t khz, std::uint8_t direction) {
    Bytes arg = TuneArgument(khz);
    arg.push_back(direction);
    return arg;
}

std::optional<std::uint16_t> BandKhzByName(std::string_view meters) {
    for (const auto& band : kBandButtons) {
        if (meters == std::to_string(band.meters))
            return band.khz;
    }
    return std::nullopt;
}

const char* DirectionName(std::uint8_t direction) {
    switch (direction) {
    case kDirectionNormal:
        return "normal";
    case kDirectionReversed:
        return "180";
    case kDirectionBidirectional:
        return "bidir";
    default:
        return nullptr;
    }
}

std::optional<std::uint8_t> DirectionByName(std::string_view name) {
    for (std::uint8_t d = kDirectionNormal; d <= kDirectionBidirectional; ++d) {
        if (name == DirectionName(d))
            return d;
    }
    return std::nullopt;
}

} // namespace koravel
