// The program's icon: a rotatable beam seen from above, its elements over
// the amber lobe of its radiation pattern, on a plate of the front panel's
// dark anodised metal. Drawn in a 256-unit square and scaled to each size,
// so that the small sizes are drawn, not shrunk.
#include "draw.h"
#include "pictures.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <numbers>

namespace artgen {

namespace {

constexpr qreal kUnits = 256.0;

const QColor kFaceColour(47, 50, 55);
const QColor kAccentColour(242, 170, 40);
const QColor kLitYellow(255, 226, 90);
const QColor kElementColour(226, 230, 235);

// The plate: a rounded square with a margin, as desktop icons are.
QPainterPath PlateOutline() {
    QPainterPath path;
    path.addRoundedRect(QRectF(16, 16, 224, 224), 44, 44);
    return path;
}

// The beam's pattern in polar form around the origin, main lobe along +x:
// a narrow forward lobe and a small back lobe.
QPainterPath LobeOutline(qreal reach) {
    QPainterPath path;
    constexpr int kSteps = 180;
    for (int i = 0; i <= kSteps; ++i) {
        const qreal angle = -std::numbers::pi + 2.0 * std::numbers::pi * i / kSteps;
        const qreal forward = std::pow((1.0 + std::cos(angle)) / 2.0, 5.0);
        const qreal r = reach * (0.12 + 0.88 * forward);
        const QPointF point(r * std::cos(angle), r * std::sin(angle));
        if (i == 0) {
            path.moveTo(point);
        } else {
            path.lineTo(point);
        }
    }
    path.closeSubpath();
    return path;
}

void DrawPlate(QPainter& p, int size) {
    // The metal is drawn at the icon's own pixel size and laid in the plate.
    QImage metal(size, size, QImage::Format_RGB32);
    FillBrushedMetal(metal, kFaceColour, 0x1C0Du + static_cast<unsigned>(size));
    const QPainterPath plate = PlateOutline();
    p.save();
    p.setClipPath(plate);
    p.save();
    p.resetTransform();
    p.drawImage(0, 0, metal);
    p.restore();
    // Light from the top left, as on the panel.
    QLinearGradient light(QPointF(16, 16), QPointF(240, 240));
    light.setColorAt(0.0, QColor(255, 255, 255, 34));
    light.setColorAt(0.6, QColor(0, 0, 0, 0));
    light.setColorAt(1.0, QColor(0, 0, 0, 70));
    p.fillPath(plate, light);
    p.restore();
    // A raised rim, then a dark outline that keeps the plate apart from any
    // background.
    p.setBrush(Qt::NoBrush);
    QLinearGradient rim(QPointF(16, 16), QPointF(240, 240));
    rim.setColorAt(0.0, QColor(255, 255, 255, 110));
    rim.setColorAt(0.5, QColor(255, 255, 255, 20));
    rim.setColorAt(1.0, QColor(0, 0, 0, 120));
    p.setPen(QPen(QBrush(rim), 5.0));
    QPainterPath inner;
    inner.addRoundedRect(QRectF(19, 19, 218, 218), 41, 41);
    p.drawPath(inner);
    p.setPen(QPen(QColor(10, 11, 13, 220), 2.5));
    p.drawPath(plate);
}

// Faint range rings of a polar plot around the antenna.
void DrawRings(QPainter& p) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 36), 2.0));
    for (const qreal r : {60.0, 110.0, 160.0}) {
        p.drawEllipse(QPointF(0, 0), r, r);
    }
}

void DrawLobe(QPainter& p) {
    const qreal reach = 146;
    const QPainterPath lobe = LobeOutline(reach);
    QRadialGradient glow(QPointF(0, 0), reach);
    glow.setColorAt(0.0, QColor(kLitYellow.red(), kLitYellow.green(), kLitYellow.blue(), 150));
    glow.setColorAt(0.55,
                    QColor(kAccentColour.red(), kAccentColour.green(), kAccentColour.blue(), 120));
    glow.setColorAt(1.0,
                    QColor(kAccentColour.red(), kAccentColour.green(), kAccentColour.blue(), 60));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawPath(lobe);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kLitYellow, 5.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(lobe);
}

// The beam: a boom along +x, the reflector at the back, the driven element,
// and two directors, each shorter towards the front.
void DrawBeam(QPainter& p) {
    struct Element {
        qreal x;
        qreal halfLength;
    };
    static constexpr Element kElements[] = {{-40, 44}, {-14, 39}, {12, 34}, {38, 30}};
    const auto stroke = [&p](QColor colour, qreal width) {
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(kElements[0].x - 10, 0), QPointF(kElements[3].x + 10, 0));
        for (const Element& e : kElements) {
            p.drawLine(QPointF(e.x, -e.halfLength), QPointF(e.x, e.halfLength));
        }
    };
    // A shadow first, offset down the light, then the tubes themselves.
    p.save();
    p.translate(3, 4);
    stroke(QColor(0, 0, 0, 120), 13);
    p.restore();
    stroke(QColor(20, 22, 25), 13);
    stroke(kElementColour, 8);
    // The feed point on the driven element, lit as the panel's lamps are.
    DrawLamp(p, QPointF(kElements[1].x, 0), 10, QColor(40, 230, 80), true);
}

} // namespace

QImage MakeIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kUnits, size / kUnits);
    DrawPlate(p, size);
    // The beam points to the top right, from a little behind the middle.
    p.setClipPath(PlateOutline());
    p.translate(100, 156);
    p.rotate(-45);
    DrawRings(p);
    DrawLobe(p);
    DrawBeam(p);
    p.end();
    return image;
}

} // namespace artgen
