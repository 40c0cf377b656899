#include "draw.h"
#include "layout.h"
#include "pictures.h"

#include <QFontMetricsF>

namespace artgen {

namespace {

const QColor kFaceColour(47, 50, 55);
const QColor kLegendColour(214, 219, 224);
const QColor kAccentColour(242, 170, 40);

// Grooves either side of a centred legend, as on a group of controls.
void DrawGroupTitle(QPainter& p, qreal left, qreal right, qreal top, const QString& text) {
    const QFont font = Font(11, true);
    const QFontMetricsF fm(font);
    const qreal textWidth = fm.horizontalAdvance(text);
    const qreal centre = (left + right) / 2.0;
    const qreal height = fm.height();
    const QRectF box(centre - textWidth / 2.0 - 2, top, textWidth + 4, height);
    DrawLegend(p, box, Qt::AlignCenter, text, font, kLegendColour);
    const qreal lineY = top + height / 2.0 - 0.5;
    DrawGroove(p, QPointF(left, lineY), QPointF(box.left() - 6, lineY));
    DrawGroove(p, QPointF(box.right() + 6, lineY), QPointF(right, lineY));
}

void DrawDirectionButtons(QPainter& p) {
    for (const ClickArea& area : kDirectionButtons) {
        const QRectF face = DrawButton(p, area.rect);
        // The legend sits above the strip that the selection marker covers.
        const QRectF upper(face.left(), face.top(), face.width(), kMarkerDy - 2 - 1);
        DrawLegend(p, upper, Qt::AlignCenter, area.label, Font(12, true, true));
        // An unlit indicator window across the lower part of the key.
        const QRectF strip(face.left() + 6, area.rect.top() + kMarkerDy + 2.5, face.width() - 12,
                           4);
        p.save();
        p.setPen(QPen(QColor(255, 255, 255, 40), 1.0));
        p.setBrush(QColor(22, 22, 18));
        p.drawRoundedRect(strip, 1.5, 1.5);
        p.restore();
    }
    const QRect& first = kDirectionButtons.front().rect;
    const QRect& last = kDirectionButtons.back().rect;
    DrawGroupTitle(p, first.left(), last.right() + 1, first.top() + kMarkerDy + kMarkerHeight + 3,
                   "BEAM DIRECTION");
}

void DrawLogo(QPainter& p) {
    // Between the Bi-Dir and Retract keys.
    const qreal left = kDirectionButtons.back().rect.right() + 1;
    const qreal right = kRetractButton.rect.left();
    QFont brand = Font(21, true);
    brand.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    const QRectF brandBox(left, 2, right - left, 28);
    DrawLegend(p, brandBox, Qt::AlignHCenter | Qt::AlignBottom, "KORAVEL", brand,
               QColor(240, 242, 245));
    QFont model = Font(11, true);
    model.setLetterSpacing(QFont::AbsoluteSpacing, 2.0);
    const QRectF modelBox(left, 31, right - left, 14);
    DrawLegend(p, modelBox, Qt::AlignCenter, "KV-100", model, kAccentColour);
    // Fine rules either side of the model name.
    const qreal half = QFontMetricsF(model).horizontalAdvance("KV-100") / 2.0 + 7;
    const qreal cx = modelBox.center().x();
    const qreal y = modelBox.center().y();
    DrawGroove(p, QPointF(cx - 52, y), QPointF(cx - half, y));
    DrawGroove(p, QPointF(cx + half, y), QPointF(cx + 52, y));
}

void DrawRetract(QPainter& p) {
    const QRectF face = DrawButton(p, kRetractButton.rect, ButtonTone::Red);
    DrawLegend(p, face.adjusted(0, -1, 0, -1), Qt::AlignCenter, kRetractButton.label,
               Font(15, true), QColor(250, 244, 240));
}

void DrawArrows(QPainter& p) {
    for (const ClickArea* area : {&kLeftArrow, &kRightArrow}) {
        const QRectF face = DrawButton(p, area->rect);
        const int dir = area == &kLeftArrow ? -1 : 1;
        const qreal size = std::min(face.width(), face.height()) * 0.48;
        DrawArrowGlyph(p, face.center() + QPointF(0, -0.5), size, dir);
        // Both legends on one line, under the taller of the two keys.
        const qreal top = std::max(kLeftArrow.rect.bottom(), kRightArrow.rect.bottom()) + 3;
        const QRectF below(area->rect.left() - 6, top, area->rect.width() + 12, 13);
        DrawLegend(p, below, Qt::AlignHCenter | Qt::AlignTop, area->label, Font(10, true),
                   kLegendColour);
    }
}

void DrawDisplays(QPainter& p) {
    // The frequency read-out: a little black glass beyond the label all round.
    const QRectF freqGlass = QRectF(kFreqLabel).adjusted(-5, -4, 5, 3);
    DrawDisplayWindow(p, freqGlass, 3);
    // The band line; it also holds the "MOVING ELEMENTS..." notice, which
    // reaches a little lower than the band label.
    const QRect bandAndNotice = kBandLabel.united(kMovingLabel);
    const QRectF bandGlass = QRectF(bandAndNotice).adjusted(-4, -2, 4, 2);
    DrawDisplayWindow(p, bandGlass, 3);
    // "MHz" on the face between the two windows.
    const qreal top = freqGlass.bottom() + 3;
    const qreal bottom = bandGlass.top() - 3;
    const QRectF mhz(freqGlass.left(), top, freqGlass.width(), bottom - top);
    const QFont font = Font(11, true);
    const qreal textWidth = QFontMetricsF(font).horizontalAdvance("MHz");
    DrawLegend(p, mhz, Qt::AlignCenter, "MHz", font, kLegendColour);
    const qreal lineY = mhz.center().y() - 0.5;
    const qreal cx = mhz.center().x();
    DrawGroove(p, QPointF(freqGlass.left() + 40, lineY), QPointF(cx - textWidth / 2 - 8, lineY));
    DrawGroove(p, QPointF(cx + textWidth / 2 + 8, lineY), QPointF(freqGlass.right() - 40, lineY));
}

void DrawBandRow(QPainter& p) {
    for (const ClickArea& area : kBandButtons) {
        // The 40 and 30 areas share a column of pixels; keep a hair between
        // the drawn keys.
        QRectF r = area.rect;
        if (area.label == "40") {
            r.setRight(r.right() - 2);
        }
        const QRectF face = DrawButton(p, r);
        DrawLegend(p, face.adjusted(0, -1, 0, -1), Qt::AlignCenter, area.label, Font(17, true));
    }
    const QRect& first = kBandButtons.front().rect;
    const QRect& last = kBandButtons.back().rect;
    DrawGroupTitle(p, first.left(), last.right() + 1, first.top() - 19, "BAND");
}

void DrawPower(QPainter& p) {
    // Bottom left, where no click area lies.
    const QPointF c(44, 252);
    const qreal r = 17;
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 120));
    p.drawEllipse(c + QPointF(0, 1.5), r + 1.5, r + 1.5);
    QLinearGradient ring(c + QPointF(0, -r), c + QPointF(0, r));
    ring.setColorAt(0.0, QColor(150, 154, 160));
    ring.setColorAt(1.0, QColor(40, 42, 46));
    p.setBrush(ring);
    p.drawEllipse(c, r, r);
    QLinearGradient cap(c + QPointF(0, -r), c + QPointF(0, r));
    cap.setColorAt(0.0, QColor(86, 90, 97));
    cap.setColorAt(1.0, QColor(44, 47, 52));
    p.setBrush(cap);
    p.drawEllipse(c, r - 2.2, r - 2.2);
    p.restore();
    DrawPowerGlyph(p, c + QPointF(0, 1), 7, QColor(236, 238, 240));
    // Pilot lamp above the switch.
    DrawLamp(p, QPointF(44, 217), 4.5, QColor(60, 230, 90), true);
    DrawLegend(p, QRectF(14, 270, 60, 12), Qt::AlignHCenter | Qt::AlignTop, "POWER", Font(9, true),
               kLegendColour);
}

void DrawScrews(QPainter& p) {
    DrawScrew(p, QPointF(11, 72), 4.5, 20);
    DrawScrew(p, QPointF(508, 72), 4.5, 65);
    DrawScrew(p, QPointF(11, 283), 4.5, 40);
    DrawScrew(p, QPointF(508, 283), 4.5, 10);
}

} // namespace

QImage MakePanel() {
    QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    FillBrushedMetal(image, kFaceColour, 0x4B563130u);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    DrawPlateEdge(p, QRectF(0, 0, kPictureWidth, kPictureHeight), 6);

    // From here on, panel coordinates: the window shows the picture 16 pixels
    // higher than its top.
    p.translate(0, kPictureOffsetY);
    DrawScrews(p);
    DrawDirectionButtons(p);
    DrawLogo(p);
    DrawRetract(p);
    DrawDisplays(p);
    DrawArrows(p);
    DrawBandRow(p);
    DrawPower(p);
    p.end();
    return image;
}

} // namespace artgen
