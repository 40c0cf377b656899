#include "unit/qt/qt_driver.h"

#include <QSocketNotifier>

#include <algorithm>

namespace unit {

QtDriver::QtDriver(Unit& unit, QObject* parent) : QObject(parent), unit_(unit) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &QtDriver::Due);
    unit_.hooks.ScheduleChanged = [this] { Rearm(); };
    Rearm();
}

QtDriver::~QtDriver() {
    unit_.hooks.ScheduleChanged = nullptr;
    delete notifier_;
}

void QtDriver::Rearm() {
    const int fd = unit_.InputFd();
    if (fd != fd_) {
        if (notifier_ != nullptr) {
            // It may be the one whose signal is being delivered.
            notifier_->setEnabled(false);
            notifier_->deleteLater();
            notifier_ = nullptr;
        }
        fd_ = fd;
        if (fd >= 0) {
            notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(notifier_, &QSocketNotifier::activated, this, &QtDriver::Input);
        }
    }
    const Millis due = unit_.NextDue();
    if (due == kNever) {
        timer_.stop();
        return;
    }
    const Millis wait = std::clamp<Millis>(due - unit_.Now(), 0, 24 * 3600 * 1000);
    timer_.start(static_cast<int>(wait));
}

void QtDriver::Input() {
    unit_.OnInput();
    Rearm();
}

void QtDriver::Due() {
    unit_.OnTimer();
    Rearm();
}

} // namespace unit
