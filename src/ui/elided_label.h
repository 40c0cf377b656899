// A one-line label that shows as much of its text as fits, ending in "...",
// with the whole text as its tool tip. It asks for no width of its own, so a
// long text never widens the window.
#pragma once

#include <QLabel>
#include <QString>

namespace koravel {

class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    // Leaves the label alone when the text is the one it has.
    void setFullText(const QString& text);
    const QString& fullText() const { return full_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Elide();
    QString full_;
};

} // namespace koravel
