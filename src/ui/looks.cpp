#include "ui/looks.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPalette>
#include <QWidget>

namespace koravel {

QColor BackgroundOf(const QWidget* widget) {
    return widget->palette().color(QPalette::Window);
}

void SetBackground(QWidget* widget, const QColor& color) {
    widget->setAutoFillBackground(true);
    if (BackgroundOf(widget) == color && widget->testAttribute(Qt::WA_SetPalette))
        return;
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
}

QColor TextColorOf(const QWidget* widget) {
    return widget->palette().color(QPalette::WindowText);
}

void SetTextColor(QWidget* widget, const QColor& color) {
    if (TextColorOf(widget) == color && widget->testAttribute(Qt::WA_SetPalette))
        return;
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

QFont Face(const QStringList& families, QFont::StyleHint hint, int pixelSize, bool bold) {
    QFont font;
    const QStringList installed = QFontDatabase::families();
    QStringList present;
    for (const QString& family : families) {
        if (installed.contains(family, Qt::CaseInsensitive))
            present << family;
    }
    if (!present.isEmpty())
        font.setFamilies(present);
    else
        font.setFamily(families.value(0));
    font.setStyleHint(hint);
    if (hint == QFont::Monospace || hint == QFont::TypeWriter)
        font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont FitWidth(QFont font, const QString& text, int width) {
    while (font.pixelSize() > 6 && QFontMetrics(font).horizontalAdvance(text) > width)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

} // namespace koravel
