// A lamp: a filled circle or rectangle with an outline, as the window's
// indicator shapes are drawn.
#pragma once

#include <QColor>
#include <QWidget>

namespace koravel {

class TShape : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Circle, Rectangle };

    TShape(Kind kind, const QColor& brush, QWidget* parent);

    Kind kind() const { return kind_; }
    QColor brushColor() const { return brush_; }
    // Repaints only when the colour changes.
    void setBrushColor(const QColor& color);
    QColor penColor() const { return pen_; }
    void setPenColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
    QColor brush_;
    QColor pen_{Qt::black};
};

} // namespace koravel
