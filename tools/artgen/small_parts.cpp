#include "draw.h"
#include "layout.h"
#include "pictures.h"

#include <QLinearGradient>

namespace artgen {

QImage MakeMarker() {
    QImage image(kMarkerWidth, kMarkerHeight, QImage::Format_RGB32);
    image.fill(QColor(150, 110, 0));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    // A lit yellow bar: bright along its middle, deeper amber at the edges.
    const QRectF bar(0.5, 0.5, kMarkerWidth - 1, kMarkerHeight - 1);
    QLinearGradient g(bar.topLeft(), bar.bottomLeft());
    g.setColorAt(0.0, QColor(255, 214, 40));
    g.setColorAt(0.45, QColor(255, 246, 120));
    g.setColorAt(0.55, QColor(255, 238, 80));
    g.setColorAt(1.0, QColor(226, 170, 0));
    p.setBrush(g);
    p.drawRoundedRect(bar, 2, 2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 220, 160), 1.0));
    p.drawLine(QPointF(3, 2.5), QPointF(kMarkerWidth - 3, 2.5));
    p.end();
    return image;
}

QImage MakeLamp(int number) {
    static const QColor kColours[] = {QColor(40, 230, 80), QColor(255, 50, 40),
                                      QColor(255, 176, 20), QColor(60, 150, 255)};
    const QColor colour = kColours[(number - 1) & 3];
    QImage image(kLampWidth, kLampHeight, QImage::Format_RGB32);
    FillBrushedMetal(image, QColor(47, 50, 55), 0x1A30u + static_cast<unsigned>(number));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    DrawLamp(p, QPointF(kLampWidth / 2.0, kLampHeight / 2.0), 15, colour, true);
    p.end();
    return image;
}

} // namespace artgen
