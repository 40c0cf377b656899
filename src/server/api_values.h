// The values the station server's API takes and gives, checked strictly:
// beam directions by name and steps in kHz within the unit's range (band
// buttons by name: koravel::BandKhzByName). Plain C++; the JSON around them
// is the server's.
#pragma once

#include <cstdint>

namespace server {

// The name of a direction byte (koravel::DirectionName); "unknown" beyond 2.
const char* DirectionText(std::uint8_t direction);

// A step of the tuned frequency: any non-zero whole kHz within +-65535.
bool ValidStep(std::int64_t stepKhz);

} // namespace server
