// The values the station server's API takes and gives, checked strictly:
// band buttons by their names, beam directions by name,
// frequencies and steps in kHz within the unit's range. Plain C++; the JSON
// around them is the server's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace server {

// "40", "30", "20", "17", "15", "12", "10", "6": the band button's
// frequency in kHz.
std::optional<std::uint16_t> BandButtonKhz(std::string_view name);

// The name of a direction byte (koravel::DirectionName); "unknown" beyond 2.
const char* DirectionText(std::uint8_t direction);

// A step of the tuned frequency: any non-zero whole kHz within +-65535.
bool ValidStep(std::int64_t stepKhz);

} // namespace server
