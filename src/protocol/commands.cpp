#include "protocol/commands.h"

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

} // namespace koravel
