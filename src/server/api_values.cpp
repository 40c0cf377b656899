#include "server/api_values.h"

#include "protocol/commands.h"

namespace server {

std::optional<std::uint16_t> BandButtonKhz(std::string_view name) {
    for (const auto& band : koravel::kBandButtons) {
        if (name == std::to_string(band.meters))
            return band.khz;
    }
    return std::nullopt;
}

std::optional<std::uint8_t> DirectionByName(std::string_view name) {
    if (name == "normal")
        return koravel::kDirectionNormal;
    if (name == "180")
        return koravel::kDirectionReversed;
    if (name == "bidir")
        return koravel::kDirectionBidirectional;
    return std::nullopt;
}

const char* DirectionName(std::uint8_t direction) {
    switch (direction) {
    case koravel::kDirectionNormal:
        return "normal";
    case koravel::kDirectionReversed:
        return "180";
    case koravel::kDirectionBidirectional:
        return "bidir";
    default:
        return "unknown";
    }
}

bool ValidStep(std::int64_t stepKhz) {
    return stepKhz != 0 && stepKhz >= -static_cast<std::int64_t>(koravel::kMaxUnitKhz) &&
           stepKhz <= static_cast<std::int64_t>(koravel::kMaxUnitKhz);
}

} // namespace server
