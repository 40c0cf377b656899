// An image component: shows a picture (or nothing, as a transparent click
// area over the front-panel picture) and reports a click when the left
// button is released over it.
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

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    bool pressed_ = false;
};

} // namespace koravel
