// koravel: the remote control of the KV-100 antenna control unit.
#include "ui/koravelu.h"

#include <QApplication>
#include <QMetaObject>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Koravel"));

    TfmMain window;
    window.show();
    // The start-up runs on the first activation; a display without a window
    // manager may never activate the window, so it is asked for here too
    // (it runs once either way).
    QMetaObject::invokeMethod(&window, &TfmMain::FormActivate, Qt::QueuedConnection);
    return app.exec();
}
