#include "ui/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace koravel {

namespace {

struct Translators {
    std::unique_ptr<QTranslator> window;
    std::unique_ptr<QTranslator> qt;
};

Translators& Installed() {
    static Translators translators;
    return translators;
}

void Remove(std::unique_ptr<QTranslator>& translator) {
    if (translator) {
        QCoreApplication::removeTranslator(translator.get());
        translator.reset();
    }
}

} // namespace

QString SystemLanguage() {
    return QLocale::system().language() == QLocale::Italian ? QStringLiteral("it")
                                                            : QStringLiteral("en");
}

bool KnownLanguage(const QString& language) {
    return language == QLatin1String("it") || language == QLatin1String("en");
}

bool UseLanguage(const QString& language) {
    Translators& installed = Installed();
    Remove(installed.window);
    Remove(installed.qt);
    if (language == QLatin1String("en"))
        return true;

    auto window = std::make_unique<QTranslator>();
    if (!window->load(QStringLiteral(":/i18n/koravel_%1.qm").arg(language)))
        return false;
    QCoreApplication::installTranslator(window.get());
    installed.window = std::move(window);

    // Qt's own dialogs (the file dialog, the message boxes' buttons); a
    // system without Qt's translations shows them in English.
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(QStringLiteral("qtbase_%1").arg(language),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt.get());
        installed.qt = std::move(qt);
    }
    return true;
}

} // namespace koravel
