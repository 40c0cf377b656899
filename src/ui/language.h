// The window's language: Italian or English, through Qt's translators. The
// window's own texts are written in English and translated into Italian
// (translations/koravel_it.ts, compiled in); Qt's dialogs take Qt's own
// translations from the system's Qt translations folder.
#pragma once

#include <QString>

namespace koravel {

// "it" for an Italian system locale, else "en".
QString SystemLanguage();

// Whether language is one the window speaks ("it" or "en").
bool KnownLanguage(const QString& language);

// Installs the translators of language on the application, replacing those
// of an earlier call; "en" removes them. Texts made before stay as they
// were: call it before the window is made. False when the window's own
// translation cannot be loaded (English is then shown).
bool UseLanguage(const QString& language);

} // namespace koravel
