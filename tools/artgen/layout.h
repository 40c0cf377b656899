// Geometry of the front panel, in the coordinates of the panel pnBlue. The
// picture is drawn at (0, -16) of that panel, so a point (x, y) here lies at
// (x, y + 16) in panel.jpg. Every drawn button fills the click area the window
// lays over it, and the display windows frame the labels the window draws.
#pragma once

#include <QRect>
#include <QString>

#include <array>

namespace artgen {

inline constexpr int kPictureWidth = 520;
inline constexpr int kPictureHeight = 312;
inline constexpr int kPictureOffsetY = 16; // panel y 0 is picture row 16

struct ClickArea {
    const char* control; // the window's control that lies over the button
    QRect rect;          // left, top, width, height in panel pixels
    QString label;       // what the button shows
};

// Band buttons along the bottom, left to right.
inline const std::array<ClickArea, 8> kBandButtons{{
    {"Image12", QRect(88, 232, 57, 41), "40"},
    {"Image13", QRect(144, 232, 41, 41), "30"},
    {"Image14", QRect(200, 232, 49, 41), "20"},
    {"Image15", QRect(256, 232, 41, 41), "17"},
    {"Image2", QRect(304, 232, 49, 41), "15"},
    {"Image4", QRect(368, 232, 41, 41), "12"},
    {"Image5", QRect(416, 232, 41, 41), "10"},
    {"Image6", QRect(472, 232, 33, 41), "6"},
}};

// Direction buttons at the top left. The selection marker (65 x 17) appears
// at the area's left and its top + 30, over the lower part of the button.
inline const std::array<ClickArea, 3> kDirectionButtons{{
    {"Image20", QRect(24, 8, 57, 41), "NORM"},
    {"Image18", QRect(104, 8, 57, 42), QString::fromUtf8("180\u00B0")},
    {"Image19", QRect(184, 8, 65, 41), "BI-DIR"},
}};
inline constexpr int kMarkerDy = 30;
inline constexpr int kMarkerWidth = 65;
inline constexpr int kMarkerHeight = 17;

inline const ClickArea kRetractButton{"Image24", QRect(384, 0, 129, 49), "RETRACT"};
inline const ClickArea kLeftArrow{"Image17", QRect(56, 96, 41, 41), "DOWN"};
inline const ClickArea kRightArrow{"Image16", QRect(424, 96, 57, 49), "UP"};

// Labels the window draws over the display windows (black, yellow text).
inline const QRect kFreqLabel(125, 88, 285, 57);    // lFreq
inline const QRect kBandLabel(102, 171, 312, 25);   // lBanda
inline const QRect kMovingLabel(128, 184, 265, 17); // Label13, shown while moving

// The lamp pictures and the selection marker.
inline constexpr int kLampWidth = 49;
inline constexpr int kLampHeight = 41;

} // namespace artgen
