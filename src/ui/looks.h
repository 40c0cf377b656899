// Colours and faces of the window's controls, set through their palettes.
// Setters leave a control alone when it already has the colour, so the
// 50 ms tick repaints nothing while the display stands still.
#pragma once

#include <QColor>
#include <QFont>
#include <QStringList>

class QWidget;

namespace koravel {

// Background (the control's "Color"); the control fills its background.
QColor BackgroundOf(const QWidget* widget);
void SetBackground(QWidget* widget, const QColor& color);
// Text colour (the control's font colour).
QColor TextColorOf(const QWidget* widget);
void SetTextColor(QWidget* widget, const QColor& color);

// A face by the first of families that is installed, else by the style hint.
QFont Face(const QStringList& families, QFont::StyleHint hint, int pixelSize, bool bold = false);
// The face, made smaller until text fits in width (a fallback face may be
// wider than the one the read-out was drawn for).
QFont FitWidth(QFont font, const QString& text, int width);

} // namespace koravel
