// koravel: the remote control of the KV-100 antenna control unit.
#include "cat/omnirig_tlb.h"
#include "close_on_signal.h"
#include "info_options.h"
#include "ui/artwork.h"
#include "ui/koravelu.h"
#include "ui/language.h"

#include <QApplication>
#include <QMetaObject>

#include <cstdio>
#include <string>

namespace {
// Gives the CAT back end's rig threads a bounded time to end once the window
// (and its client) is gone: a rig that does not answer cannot hold the exit.
struct RigWorkersEnd {
    ~RigWorkersEnd() { TOmniRigX::WaitForWorkers(2000); }
};
} // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so they work without a display.
    if (const std::optional<int> exitCode = koravel::AnswerInfoOption(argc, argv))
        return *exitCode;

    bool languageOk = true;
    const std::string language = koravel::TakeLanguageOption(argc, argv, languageOk);
    if (!languageOk)
        return 2;

    QApplication app(argc, argv);
    const QString chosen =
        language.empty() ? koravel::SystemLanguage() : QString::fromStdString(language);
    if (!koravel::UseLanguage(chosen))
        std::fprintf(stderr, "koravel: the %s texts are missing; English is shown\n",
                     qPrintable(chosen));
    QApplication::setApplicationName(QStringLiteral("Koravel"));
    QApplication::setApplicationVersion(QStringLiteral(KORAVEL_VERSION));
    // The installed desktop entry's name, so that the desktop matches the
    // window to its menu item and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(KORAVEL_APP_ID));
    QApplication::setWindowIcon(koravel::ApplicationIcon());

    const RigWorkersEnd rigWorkersEnd; // destroyed after the window
    TfmMain window;
    // The one optional argument: a set-up file to send, by its bytes (Qt's
    // own options are already taken out of argv).
    if (argc > 1)
        window.CommandLineFile = QByteArray(argv[1]);
    window.show();
    // A desktop session that ends, or a kill from a script, closes the
    // window as the user would, so the settings are saved.
    koravel::CloseOnSignals(window);
    // The start-up runs on the first activation; a display without a window
    // manager may never activate the window, so it is asked for here too
    // (it runs once either way).
    QMetaObject::invokeMethod(&window, &TfmMain::FormActivate, Qt::QueuedConnection);
    const int code = app.exec();
    // A command-line send that did not send its file whole fails the run.
    return code != 0 ? code : window.ExitStatus;
}
