// Drawing pieces of the control unit's face: brushed metal, buttons, bezels,
// screws and engraved legends. All sizes are in pixels of the picture.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>

#include <cstdint>

namespace artgen {

// Small deterministic generator, so that every run makes the same pictures.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
    std::uint32_t Next();
    // Uniform in [-1, 1].
    double Signed() { return (Next() & 0xFFFFFF) / double(0x7FFFFF) - 1.0; }

private:
    std::uint32_t state_;
};

// A DejaVu face (Debian's fonts-dejavu-core) at a pixel size.
QFont Font(int pixelSize, bool bold = true, bool condensed = false);

// Fills the image with dark anodised, horizontally brushed metal.
void FillBrushedMetal(QImage& image, QColor base, std::uint32_t seed);

// A raised rim along the edges of a plate (light top/left, dark bottom/right).
void DrawPlateEdge(QPainter& p, const QRectF& r, qreal radius);

// A recessed window: a dark bevel sunk into the face around a black glass.
void DrawDisplayWindow(QPainter& p, const QRectF& glass, qreal bezel);

// A groove line engraved into the face.
void DrawGroove(QPainter& p, QPointF from, QPointF to);

enum class ButtonTone { Grey, Red };

// A rounded push button that fills r; returns the rectangle of its face.
QRectF DrawButton(QPainter& p, const QRectF& r, ButtonTone tone = ButtonTone::Grey);

// Light text with a dark shadow, as silk-screened legends look on metal.
void DrawLegend(QPainter& p, const QRectF& r, int flags, const QString& text, const QFont& font,
                QColor colour = QColor(232, 235, 238));

// A filled triangle pointing left (dir -1) or right (dir +1), centred on c.
void DrawArrowGlyph(QPainter& p, QPointF c, qreal size, int dir);

// The IEC power symbol (a broken circle with a bar), centred on c.
void DrawPowerGlyph(QPainter& p, QPointF c, qreal radius, QColor colour);

// A cross-head screw with a countersunk rim.
void DrawScrew(QPainter& p, QPointF c, qreal radius, qreal angleDeg);

// A round indicator lamp in a chrome bezel, lit in the given colour.
void DrawLamp(QPainter& p, QPointF c, qreal radius, QColor colour, bool lit);

} // namespace artgen
