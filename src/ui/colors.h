// The window's colours by their toolkit names.
#pragma once

#include <QColor>

namespace koravel::colors {

inline const QColor clBlack{0x00, 0x00, 0x00};
inline const QColor clMaroon{0x80, 0x00, 0x00};
inline const QColor clGreen{0x00, 0x80, 0x00};
inline const QColor clOlive{0x80, 0x80, 0x00};
inline const QColor clNavy{0x00, 0x00, 0x80};
inline const QColor clGray{0x80, 0x80, 0x80};
inline const QColor clSilver{0xC0, 0xC0, 0xC0};
inline const QColor clRed{0xFF, 0x00, 0x00};
inline const QColor clLime{0x00, 0xFF, 0x00};
inline const QColor clYellow{0xFF, 0xFF, 0x00};
inline const QColor clBlue{0x00, 0x00, 0xFF};
inline const QColor clAqua{0x00, 0xFF, 0xFF};
inline const QColor clWhite{0xFF, 0xFF, 0xFF};
inline const QColor clBtnFace{0xF0, 0xF0, 0xF0};
inline const QColor clBtnHighlight{0xFF, 0xFF, 0xFF};
// The status bar's alarms: a red that reads on the window's white (pure red
// does not, for weaker eyes).
inline const QColor clAlarmText{0xC0, 0x00, 0x00};

} // namespace koravel::colors
