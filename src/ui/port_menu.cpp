// The "Com Port" menu beyond its fourteen numbers: each item names the device
// its number stands for, a port that does not open is explained in a box, and
// "Serial devices..." shows the devices present and gives them numbers.
#include "ui/koravelu.h"

#include "station/config_dir.h"
#include "station/port_links.h"
#include "station/serial_devices.h"
#include "ui/serial_devices_dialog.h"

#include <QAction>
#include <QMenu>

using namespace koravel;

namespace {
const char* const kProgramTitle = "Koravel";
} // namespace

void TfmMain::BuildPortMenuItems() {
    Communication1->addSeparator();
    SerialDevices1 = Communication1->addAction(tr("Serial devices..."));
    SerialDevices1->setObjectName(QStringLiteral("SerialDevices1"));
    connect(SerialDevices1, &QAction::triggered, this, &TfmMain::SerialDevices1Click);
    connect(Communication1, &QMenu::aboutToShow, this, &TfmMain::RefreshComItems);
}

void TfmMain::ComPortClick(std::int32_t n) {
    ChosenPortNumber = n;
    OpenPortNumber(n);
    RenderStatusBar();
    // The operator chose this port just now: tell why it did not open.
    if (!LastOpenFailure.isEmpty())
        prompter_->Message(QString::fromLatin1(kProgramTitle), LastOpenFailure);
}

void TfmMain::RefreshComItems() {
    const std::string configDir = ConfigDir();
    const std::vector<SerialDevice> devices = ListSerialDevices();
    int number = 1;
    for (QAction* item : ComItems()) {
        QString text = QString::fromLocal8Bit(PortSummary(ViewPort(configDir, number++, devices)));
        text.replace(QLatin1Char('&'), QStringLiteral("&&")); // no accelerator
        if (item->text() != text)
            item->setText(text);
    }
}

void TfmMain::SerialDevices1Click() {
    if (dlgSerialDevices == nullptr) {
        dlgSerialDevices =
            new SerialDevicesDialog(QString::fromLocal8Bit(ConfigDir()), QStringLiteral("/"), this);
    }
    dlgSerialDevices->Refresh();
    dlgSerialDevices->show();
    dlgSerialDevices->raise();
    dlgSerialDevices->activateWindow();
}
