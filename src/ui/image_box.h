// An image component: shows a picture (or nothing, as a transparent click
// area over the front-panel picture) and reports a click when the left
// button is released over it. A click area made a button (MakeButton) also
// takes the keyboard focus, shows it with a frame drawn over the picture,
// clicks on Space and Enter, and is a named button to screen readers
// (click_area_accessible.h).
#pragma once

#include <QImage>
#include <QWidget>

namespace koravel {

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent);

    const QImage& picture() const { return picture_; }
    void setPicture(const QImage& picture);

    // A focusable, named button: name is what a screen reader says, tip the
    // tool tip (the button's key included).
    void MakeButton(const QString& name, const QString& tip);
    bool isButton() const { return button_; }
    // The press of a button from the keyboard or a screen reader's action.
    void Activate() { emit activated(); }

signals:
    // A mouse click (and the area's key).
    void clicked();
    // Space or Enter on the focused area, or the accessibility action.
    void activated();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QImage picture_;
    bool pressed_ = false;
    bool button_ = false;
};

} // namespace koravel
