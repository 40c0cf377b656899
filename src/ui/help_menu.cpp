// The "Help" menu: the keys of the window and the About box (version,
// licence, the manual pages).
#include "ui/koravelu.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

void TfmMain::BuildHelpMenu() {
    Help1 = mm1->addMenu(tr("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    About1 = Help1->addAction(tr("&About Koravel..."));
    About1->setObjectName(QStringLiteral("About1"));
    connect(About1, &QAction::triggered, this, &TfmMain::HelpAboutClick);
}

QString TfmMain::AboutText() {
    return tr("<p><b>Koravel %1</b></p>"
              "<p>The remote control of the KV-100 antenna control unit.</p>"
              "<p>Free software under the GNU General Public License, version 3 or later; "
              "it comes with no warranty.</p>"
              "<p>Manual pages: <tt>man koravel</tt> (the window and its keys), "
              "<tt>man koravel-setup</tt> (set-up files), <tt>man koravelctl</tt>, "
              "<tt>man kv100-sim</tt>.</p>")
        .arg(QCoreApplication::applicationVersion());
}

void TfmMain::HelpAboutClick() {
    QMessageBox::about(this, tr("About Koravel"), AboutText());
}
