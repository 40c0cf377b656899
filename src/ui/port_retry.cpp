// A chosen port that is not there, or that went away (a USB adapter
// unplugged: the device hung up), is tried again every 2 s until it opens,
// and the status bar says so; the unit is picked up without a click when the
// adapter comes back at the same path. The reopen is the one every COM item
// makes (OpenPortNumber, through OpenComPort).
#include "ui/koravelu.h"

#include "setup/transfer.h"
#include "station/config_dir.h"
#include "station/port_links.h"
#include "station/serial_devices.h"
#include "transport/port.h"
#include "unit/unit.h"

#include <QTimer>

namespace {

const QString kRetryKey = QStringLiteral("reopen");

} // namespace

void TfmMain::BuildPortRetry() {
    tmReopen = new QTimer(this);
    tmReopen->setObjectName(QStringLiteral("tmReopen"));
    tmReopen->setInterval(kReopenMs);
    connect(tmReopen, &QTimer::timeout, this, &TfmMain::tmReopenTimer);
    tmReopen->start();
}

bool TfmMain::PortHungUp() {
    transport::Port& port = unit_->Port();
    // A network port reconnects by itself, and says so in the bar.
    if (!port.IsOpen() || port.Network())
        return false;
    (void)port.InputCount(); // notices a hang-up since the last look
    return port.InputFd() == transport::kNoHandle;
}

bool TfmMain::RetryApplies() const {
    // A network port reconnects by itself once open; one whose open failed
    // is not tried from here, for its attempt holds the window up to 3 s.
    return retryPort_ > 0 && !koravel::ViewPort(koravel::ConfigDir(), retryPort_,
                                                std::vector<koravel::SerialDevice>{})
                                  .network;
}

void TfmMain::tmReopenTimer() {
    // An open port that has not hung up needs nothing: said before the
    // folder is looked at, as this runs all the time.
    if (retryPort_ <= 0 || transfer_->Running())
        return;
    const bool open = unit_->Port().IsOpen();
    if ((open && !PortHungUp()) || !RetryApplies())
        return;
    // A port that went away is reopened once its device is back: a failed
    // attempt would close it and forget the number it stands for.
    if (open && !koravel::ViewPort(koravel::ConfigDir(), retryPort_).present)
        return;
    OpenPortNumber(retryPort_);
    RenderStatusBar();
}

QString TfmMain::RetryNotice() {
    // Rendered on every poll tick: the ports folder is looked at only while
    // the port is closed or has hung up.
    if (retryPort_ <= 0)
        return {};
    const bool open = unit_->Port().IsOpen();
    const bool hungUp = open && PortHungUp();
    if ((open && !hungUp) || !RetryApplies())
        return {};
    if (!open)
        return tr("Trying COM%1 again every 2 s.").arg(retryPort_);
    return tr("COM%1 has gone away (unplugged?): trying again every 2 s.").arg(retryPort_);
}
