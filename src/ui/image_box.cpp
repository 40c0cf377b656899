#include "ui/image_box.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace koravel {

TImage::TImage(QWidget* parent) : QWidget(parent) {
    // Without a picture nothing is painted: the parent shows through.
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void TImage::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void TImage::MakeButton(const QString& name, const QString& tip) {
    button_ = true;
    // Tab reaches it; a mouse click does not move the focus off the
    // control the operator was on.
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(name);
    setToolTip(tip);
}

void TImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!picture_.isNull())
        painter.drawImage(0, 0, picture_);
    if (button_ && hasFocus()) {
        // A frame that shows on the picture's light and dark parts alike.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::black, 3));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
        painter.setPen(QPen(QColor(0xFF, 0xD0, 0x00), 1, Qt::DashLine));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

void TImage::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click)
        emit clicked();
}

void TImage::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    // Enter on the keypad as well.
    if (button_ && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        event->accept();
        if (!event->isAutoRepeat())
            emit activated();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TImage::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void TImage::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

} // namespace koravel
