#include "draw.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <vector>

namespace artgen {

std::uint32_t Noise::Next() {
    // xorshift32: the same sequence on every machine.
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
}

QFont Font(int pixelSize, bool bold, bool condensed) {
    QFont f(condensed ? "DejaVu Sans Condensed" : "DejaVu Sans");
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

namespace {

int Clamp255(double v) {
    return std::clamp(int(std::lround(v)), 0, 255);
}

QColor WithAlpha(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}

} // namespace

void FillBrushedMetal(QImage& image, QColor base, std::uint32_t seed) {
    Noise noise(seed);
    const int w = image.width();
    const int h = image.height();
    // Long horizontal streaks: a smoothed random walk per row, blended with
    // the row above so the grain does not look like plain scan lines.
    std::vector<double> previous(w, 0.0);
    std::vector<double> row(w, 0.0);
    for (int y = 0; y < h; ++y) {
        const double rowLevel = noise.Signed() * 3.0;
        double streak = noise.Signed();
        for (int x = 0; x < w; ++x) {
            streak = streak * 0.96 + noise.Signed() * 0.04 * 6.0;
            row[x] = 0.55 * (rowLevel + streak * 2.2) + 0.45 * previous[x];
        }
        // A soft light fall-off from the top, as under a desk lamp.
        const double light = 9.0 * (1.0 - double(y) / h) - 3.0;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double grain = noise.Signed() * 1.3;
            const double v = row[x] + grain + light;
            line[x] = qRgb(Clamp255(base.red() + v), Clamp255(base.green() + v),
                           Clamp255(base.blue() + v * 1.1));
        }
        std::swap(previous, row);
    }
}

void DrawPlateEdge(QPainter& p, const QRectF& r, qreal radius) {
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 40), 1.0));
    p.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), radius, radius);
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0.0, QColor(255, 255, 255, 70));
    g.setColorAt(0.5, QColor(0, 0, 0, 60));
    g.setColorAt(1.0, QColor(0, 0, 0, 160));
    p.setPen(QPen(QBrush(g), 2.0));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.restore();
}

void DrawDisplayWindow(QPainter& p, const QRectF& glass, qreal bezel) {
    p.save();
    p.setPen(Qt::NoPen);
    const QRectF outer = glass.adjusted(-bezel, -bezel, bezel, bezel);
    // The lip around the cut-out: shadowed above, catching light below.
    QLinearGradient lip(outer.topLeft(), outer.bottomLeft());
    lip.setColorAt(0.0, QColor(0, 0, 0, 150));
    lip.setColorAt(1.0, QColor(255, 255, 255, 60));
    p.setBrush(lip);
    p.drawRoundedRect(outer.adjusted(-1.5, -1.5, 1.5, 1.5), 5, 5);
    // The bezel walls, sloping down to the glass.
    QLinearGradient walls(outer.topLeft(), outer.bottomLeft());
    walls.setColorAt(0.0, QColor(14, 15, 17));
    walls.setColorAt(1.0, QColor(46, 49, 54));
    p.setBrush(walls);
    p.drawRoundedRect(outer, 4, 4);
    // The glass itself, black so that the window's labels blend into it.
    p.setBrush(QColor(0, 0, 0));
    p.drawRect(glass);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0), 1.0));
    p.drawRect(glass.adjusted(-0.5, -0.5, 0.5, 0.5));
    p.restore();
}

void DrawGroove(QPainter& p, QPointF from, QPointF to) {
    p.save();
    p.setPen(QPen(QColor(0, 0, 0, 150), 1.0));
    p.drawLine(from, to);
    p.setPen(QPen(QColor(255, 255, 255, 45), 1.0));
    p.drawLine(from + QPointF(0, 1), to + QPointF(0, 1));
    p.restore();
}

QRectF DrawButton(QPainter& p, const QRectF& r, ButtonTone tone) {
    p.save();
    p.setPen(Qt::NoPen);
    const QRectF body = r.adjusted(1, 1, -1, -2);
    const qreal radius = std::min<qreal>(6.0, body.height() / 5.0);

    // Shadow cast on the face below the button.
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawRoundedRect(body.translated(0, 2.0).adjusted(-0.5, 0, 0.5, 0), radius + 1, radius + 1);
    p.setBrush(QColor(0, 0, 0, 150));
    p.drawRoundedRect(body.translated(0, 1.0), radius, radius);

    // Dark rim of the key's opening.
    p.setBrush(QColor(12, 13, 15));
    p.drawRoundedRect(body, radius, radius);

    // The key cap: a soft vertical gradient for a slightly domed look.
    const QRectF face = body.adjusted(1.2, 1.2, -1.2, -1.2);
    QLinearGradient g(face.topLeft(), face.bottomLeft());
    if (tone == ButtonTone::Red) {
        g.setColorAt(0.0, QColor(178, 58, 50));
        g.setColorAt(0.5, QColor(146, 38, 32));
        g.setColorAt(1.0, QColor(104, 24, 20));
    } else {
        g.setColorAt(0.0, QColor(118, 123, 131));
        g.setColorAt(0.5, QColor(88, 93, 100));
        g.setColorAt(1.0, QColor(62, 66, 72));
    }
    p.setBrush(g);
    p.drawRoundedRect(face, radius - 1, radius - 1);

    // A gloss over the upper half and a bright top edge.
    QLinearGradient gloss(face.topLeft(), QPointF(face.left(), face.center().y()));
    gloss.setColorAt(0.0, QColor(255, 255, 255, 46));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawRoundedRect(face, radius - 1, radius - 1);

    p.setBrush(Qt::NoBrush);
    QLinearGradient edge(face.topLeft(), face.bottomLeft());
    edge.setColorAt(0.0, QColor(255, 255, 255, 120));
    edge.setColorAt(0.35, QColor(255, 255, 255, 20));
    edge.setColorAt(1.0, QColor(0, 0, 0, 70));
    p.setPen(QPen(QBrush(edge), 1.0));
    p.drawRoundedRect(face.adjusted(0.5, 0.5, -0.5, -0.5), radius - 1.5, radius - 1.5);
    p.restore();
    return face;
}

void DrawLegend(QPainter& p, const QRectF& r, int flags, const QString& text, const QFont& font,
                QColor colour) {
    p.save();
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 170));
    p.drawText(r.translated(0, 1), flags, text);
    p.setPen(colour);
    p.drawText(r, flags, text);
    p.restore();
}

void DrawArrowGlyph(QPainter& p, QPointF c, qreal size, int dir) {
    p.save();
    const qreal half = size / 2.0;
    QPainterPath tri;
    tri.moveTo(c.x() + dir * half * 0.85, c.y());
    tri.lineTo(c.x() - dir * half * 0.7, c.y() - half);
    tri.lineTo(c.x() - dir * half * 0.7, c.y() + half);
    tri.closeSubpath();
    p.setPen(QPen(QColor(0, 0, 0, 150), 1.0));
    p.setBrush(QColor(0, 0, 0, 150));
    p.drawPath(tri.translated(0, 1));
    p.setPen(QPen(QColor(236, 238, 240), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(236, 238, 240));
    p.drawPath(tri);
    p.restore();
}

void DrawPowerGlyph(QPainter& p, QPointF c, qreal radius, QColor colour) {
    p.save();
    p.setBrush(Qt::NoBrush);
    const qreal width = std::max<qreal>(1.6, radius / 4.0);
    const QRectF circle(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
    for (int pass = 0; pass < 2; ++pass) {
        const QPointF shift = pass == 0 ? QPointF(0, 1) : QPointF(0, 0);
        p.setPen(
            QPen(pass == 0 ? QColor(0, 0, 0, 160) : colour, width, Qt::SolidLine, Qt::RoundCap));
        // Qt angles: 1/16 degree, counter-clockwise from 3 o'clock; leave a
        // gap of 80 degrees around 12 o'clock.
        p.drawArc(circle.translated(shift), (90 + 40) * 16, (360 - 80) * 16);
        p.drawLine(c + shift + QPointF(0, -radius * 1.25), c + shift + QPointF(0, -radius * 0.15));
    }
    p.restore();
}

void DrawScrew(QPainter& p, QPointF c, qreal radius, qreal angleDeg) {
    p.save();
    p.setPen(Qt::NoPen);
    // Countersink.
    QRadialGradient sink(c, radius + 1.5);
    sink.setColorAt(0.7, QColor(0, 0, 0, 170));
    sink.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setBrush(sink);
    p.drawEllipse(c, radius + 1.5, radius + 1.5);
    // Head.
    QLinearGradient head(c + QPointF(-radius, -radius), c + QPointF(radius, radius));
    head.setColorAt(0.0, QColor(190, 194, 200));
    head.setColorAt(0.5, QColor(120, 124, 130));
    head.setColorAt(1.0, QColor(60, 63, 68));
    p.setBrush(head);
    p.drawEllipse(c, radius, radius);
    // Cross slot.
    p.translate(c);
    p.rotate(angleDeg);
    const qreal s = radius * 0.62;
    p.setPen(
        QPen(QColor(28, 29, 32), std::max<qreal>(1.2, radius / 3.5), Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(-s, 0), QPointF(s, 0));
    p.drawLine(QPointF(0, -s), QPointF(0, s));
    p.restore();
}

void DrawLamp(QPainter& p, QPointF c, qreal radius, QColor colour, bool lit) {
    p.save();
    p.setPen(Qt::NoPen);
    // Glow on the face around a lit lamp.
    if (lit) {
        QRadialGradient glow(c, radius * 1.9);
        glow.setColorAt(0.45, WithAlpha(colour, 110));
        glow.setColorAt(1.0, WithAlpha(colour, 0));
        p.setBrush(glow);
        p.drawEllipse(c, radius * 1.9, radius * 1.9);
    }
    // Chrome bezel.
    QLinearGradient ring(c + QPointF(0, -radius), c + QPointF(0, radius));
    ring.setColorAt(0.0, QColor(225, 228, 232));
    ring.setColorAt(0.5, QColor(120, 124, 130));
    ring.setColorAt(1.0, QColor(205, 208, 212));
    p.setBrush(ring);
    p.drawEllipse(c, radius, radius);
    p.setBrush(QColor(20, 21, 23));
    p.drawEllipse(c, radius * 0.80, radius * 0.80);
    // The lens.
    const qreal lens = radius * 0.70;
    QRadialGradient dome(c + QPointF(-lens * 0.25, -lens * 0.3), lens * 1.2);
    const QColor dim = colour.darker(lit ? 100 : 320);
    dome.setColorAt(0.0, lit ? colour.lighter(170) : dim.lighter(150));
    dome.setColorAt(0.55, dim);
    dome.setColorAt(1.0, dim.darker(220));
    p.setBrush(dome);
    p.drawEllipse(c, lens, lens);
    // Specular highlight.
    QRadialGradient spec(c + QPointF(-lens * 0.3, -lens * 0.38), lens * 0.45);
    spec.setColorAt(0.0, QColor(255, 255, 255, lit ? 220 : 140));
    spec.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(spec);
    p.drawEllipse(c + QPointF(-lens * 0.3, -lens * 0.38), lens * 0.45, lens * 0.45);
    p.restore();
}

} // namespace artgen
