#include "protocol/bands.h"

namespace koravel {

const std::array<std::string_view, 11> BandNames = {
    "6 meter",   "10 meters(1)", "10 meters(2)", "10 meters", "10 meters(4)", "12 meters",
    "15 meters", "17 meters",    "20 meters",    "30 meters", "40 meters",
};

namespace {

struct Band {
    std::uint32_t lowKhz;
    std::uint32_t highKhz;
    std::size_t name; // index into BandNames
    int meters;       // its band button
};

constexpr Band kBands[] = {
    {50000, 54000, 0, 6},  {28000, 29700, 3, 10}, {24890, 24990, 5, 12}, {21000, 21450, 6, 15},
    {18068, 18168, 7, 17}, {14000, 14350, 8, 20}, {10100, 10150, 9, 30}, {7000, 7300, 10, 40},
};

} // namespace

std::string_view BandNameFor(std::uint32_t khz) {
    for (const Band& band : kBands) {
        if (khz >= band.lowKhz && khz <= band.highKhz)
            return BandNames[band.name];
    }
    return {};
}

int BandMetersFor(std::uint32_t khz) {
    for (const Band& band : kBands) {
        if (khz >= band.lowKhz && khz <= band.highKhz)
            return band.meters;
    }
    return 0;
}

} // namespace koravel
