// The picture of the unit's front panel (panel.jpg, 520 x 312) and the
// areas over its drawn buttons: where each lies in the picture and what a
// click on it orders. The window's click areas and the station server's web
// page are both laid out from this one table.
#pragma once

#include "protocol/commands.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace koravel {

inline constexpr int kPanelWidth = 520;
inline constexpr int kPanelHeight = 312;
// The picture is drawn 16 pixels above the window's panel: areas are given
// in the panel's pixels, so the picture's own row is y + kPanelPictureTop.
inline constexpr int kPanelPictureTop = 16;
// What an arrow adds to or takes from the reported frequency.
inline constexpr int kArrowStepKhz = 25;

struct PanelArea {
    enum class Action {
        Band,      // tune to a band button's frequency (value: metres)
        StepDown,  // the reported frequency less kArrowStepKhz
        StepUp,    // the reported frequency plus kArrowStepKhz
        Direction, // the reported frequency with a direction (value)
        Retract,   // retract the elements
        Close,     // close the window (outside the picture)
    };
    std::string_view name; // the window's name of the area
    int x, y, width, height;
    Action action;
    int value;
    std::string_view label; // what the picture shows under it
};

inline constexpr PanelArea kPanelAreas[] = {
    {"Image12", 88, 232, 57, 41, PanelArea::Action::Band, 40, "40"},
    {"Image13", 144, 232, 41, 41, PanelArea::Action::Band, 30, "30"},
    {"Image14", 200, 232, 49, 41, PanelArea::Action::Band, 20, "20"},
    {"Image15", 256, 232, 41, 41, PanelArea::Action::Band, 17, "17"},
    {"Image2", 304, 232, 49, 41, PanelArea::Action::Band, 15, "15"},
    {"Image4", 368, 232, 41, 41, PanelArea::Action::Band, 12, "12"},
    {"Image5", 416, 232, 41, 41, PanelArea::Action::Band, 10, "10"},
    {"Image6", 472, 232, 33, 41, PanelArea::Action::Band, 6, "6"},
    {"Image17", 56, 96, 41, 41, PanelArea::Action::StepDown, 0, "left arrow"},
    {"Image16", 424, 96, 57, 49, PanelArea::Action::StepUp, 0, "right arrow"},
    {"Image20", 24, 8, 57, 41, PanelArea::Action::Direction, kDirectionNormal, "Norm"},
    {"Image18", 104, 8, 57, 42, PanelArea::Action::Direction, kDirectionReversed, "180"},
    {"Image19", 184, 8, 65, 41, PanelArea::Action::Direction, kDirectionBidirectional, "Bi-Dir"},
    {"Image24", 384, 0, 129, 49, PanelArea::Action::Retract, 0, "Retract"},
    {"Image23", 552, 216, 73, 81, PanelArea::Action::Close, 0, ""},
};

// The readouts drawn over the picture's black windows, in the panel's
// pixels as the areas: the frequency, the band, and the "MOVING ELEMENTS..."
// label over the band window's lower half.
struct PanelRect {
    int x, y, width, height;
};
inline constexpr PanelRect kFrequencyReadout{125, 88, 285, 57};
inline constexpr PanelRect kBandReadout{102, 171, 312, 25};
inline constexpr PanelRect kMovingLabel{128, 184, 265, 17};

// The frequency a step of stepKhz (signed) from the reported frequency tunes
// to; nullopt past 0 or past kMaxUnitKhz, where a step would tune to a
// frequency nobody chose (the arrows send nothing at the unit's ends).
constexpr std::optional<std::uint32_t> StepTarget(std::int64_t reportedKhz, std::int64_t stepKhz) {
    const std::int64_t target = reportedKhz + stepKhz;
    if (target < 0 || target > static_cast<std::int64_t>(kMaxUnitKhz))
        return std::nullopt;
    return static_cast<std::uint32_t>(target);
}

// The area of that name.
constexpr std::optional<PanelArea> FindPanelArea(std::string_view name) {
    for (const PanelArea& area : kPanelAreas) {
        if (area.name == name)
            return area;
    }
    return std::nullopt;
}

} // namespace koravel
