// The window's tests run under Qt's offscreen platform with the C locale's
// number formats, in Italian (the window's texts as the unit's makers wrote
// them); one QApplication serves them all.
#include <QApplication>
#include <QLocale>

#include "ui/language.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QLocale::setDefault(QLocale::c());
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    if (!koravel::UseLanguage(QStringLiteral("it")))
        return 1;
    return RUN_ALL_TESTS();
}
