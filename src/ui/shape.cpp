#include "ui/shape.h"

#include <QPainter>

#include <algorithm>

namespace koravel {

TShape::TShape(Kind kind, const QColor& brush, QWidget* parent)
    : QWidget(parent), kind_(kind), brush_(brush) {}

void TShape::setBrushColor(const QColor& color) {
    if (color == brush_)
        return;
    brush_ = color;
    update();
}

void TShape::setPenColor(const QColor& color) {
    if (color == pen_)
        return;
    pen_ = color;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, kind_ == Kind::Circle);
    painter.setPen(QPen(pen_, 1));
    painter.setBrush(brush_);
    // The outline lies inside the widget's rectangle.
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (kind_ == Kind::Circle) {
        // A circle in the largest square that fits, centred.
        const qreal side = std::min(box.width(), box.height());
        painter.drawEllipse(
            QRectF(box.center().x() - side / 2, box.center().y() - side / 2, side, side));
    } else {
        painter.drawRect(box);
    }
}

} // namespace koravel
