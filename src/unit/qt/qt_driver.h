// A unit driven by Qt's event loop: the unit's input descriptor is watched
// by a socket notifier, and a precise single-shot timer fires when the unit
// is next due. QtCore only: the window, koravelctl follow and the station
// server drive their units with it.
#pragma once

#include "unit/unit.h"

#include <QObject>
#include <QTimer>

class QSocketNotifier;

namespace unit {

class QtDriver : public QObject {
public:
    // Drives unit for as long as this object lives; takes the unit's
    // ScheduleChanged hook.
    explicit QtDriver(Unit& unit, QObject* parent = nullptr);
    ~QtDriver() override;
    QtDriver(const QtDriver&) = delete;
    QtDriver& operator=(const QtDriver&) = delete;

    // Looks at the unit's descriptor and due time again.
    void Rearm();

private:
    void Input();
    void Due();

    Unit& unit_;
    QSocketNotifier* notifier_ = nullptr;
    int fd_ = -1;
    QTimer timer_;
};

} // namespace unit
