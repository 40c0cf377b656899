// The window's pictures, drawn from scratch.
#pragma once

#include <QImage>

namespace artgen {

// The front face of the control unit, 520 x 312.
QImage MakePanel();

// The selection marker under the chosen direction button, 65 x 17.
QImage MakeMarker();

// Small indicator lamps 1 to 4, 49 x 41 each, in different colours.
QImage MakeLamp(int number);

// The program's icon, size x size pixels with a transparent surround.
QImage MakeIcon(int size);

} // namespace artgen
