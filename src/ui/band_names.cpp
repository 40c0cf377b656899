#include "ui/band_names.h"

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
};

constexpr Band kBands[] = {
    {50000, 54000, 0}, {28000, 29700, 3}, {24890, 24990, 5}, {21000, 21450, 6},
    {18068, 18168, 7}, {14000, 14350, 8}, {10100, 10150, 9}, {7000, 7300, 10},
};

} // namespace

std::string_view BandNameFor(std::uint32_t khz) {
    for (const Band& band : kBands) {
        if (khz >= band.lowKhz && khz <= band.highKhz)
            return BandNames[band.name];
    }
    return {};
}

} // namespace koravel
