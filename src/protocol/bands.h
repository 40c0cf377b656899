// The amateur bands the antenna covers, by the names the window shows and by
// the unit's band buttons.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace koravel {

// The fixed list of band names, in the unit's order.
extern const std::array<std::string_view, 11> BandNames;

// The name from BandNames of the band that holds a frequency (kHz), or an
// empty name outside the bands: 6 m 50000-54000, 10 m 28000-29700,
// 12 m 24890-24990, 15 m 21000-21450, 17 m 18068-18168, 20 m 14000-14350,
// 30 m 10100-10150, 40 m 7000-7300, each limit included.
std::string_view BandNameFor(std::uint32_t khz);

// The band button (in metres: 40, 30, 20, 17, 15, 12, 10, 6) of the band that
// holds a frequency, by the same limits; 0 outside the bands.
int BandMetersFor(std::uint32_t khz);

} // namespace koravel
