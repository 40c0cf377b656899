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

const char* DirectionText(std::uint8_t direction) {
    const char* name = koravel::DirectionName(direction);
    return name != nullptr ? name : "unknown";
}

bool ValidStep(std::int64_t stepKhz) {
    return stepKhz != 0 && stepKhz >= -static_cast<std::int64_t>(koravel::kMaxUnitKhz) &&
           stepKhz <= static_cast<std::int64_t>(koravel::kMaxUnitKhz);
}

} // namespace server
