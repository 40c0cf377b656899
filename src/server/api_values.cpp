#include "server/api_values.h"

#include "protocol/commands.h"

namespace server {

const char* DirectionText(std::uint8_t direction) {
    const char* name = koravel::DirectionName(direction);
    return name != nullptr ? name : "unknown";
}

bool ValidStep(std::int64_t stepKhz) {
    return stepKhz != 0 && stepKhz >= -static_cast<std::int64_t>(koravel::kMaxUnitKhz) &&
           stepKhz <= static_cast<std::int64_t>(koravel::kMaxUnitKhz);
}

} // namespace server
