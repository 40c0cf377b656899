#include "ui/announcer.h"

#include <QAccessible>
#include <QDateTime>
#include <QTimer>
#include <QWidget>

namespace koravel {

Announcer::Announcer(int intervalMs, QObject* parent) : QObject(parent), intervalMs_(intervalMs) {}

void Announcer::Say(QWidget* control, const QString& text, bool alert) {
    Entry& entry = entries_[control];
    if (entry.control.isNull())
        entry.control = control;
    if (entry.text == text && (entry.waiting || control->accessibleName() == text))
        return;
    entry.text = text;
    entry.alert = entry.alert || alert;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (entry.lastMs < 0 || now - entry.lastMs >= intervalMs_) {
        Announce(entry);
        return;
    }
    // Too soon after the last one: the newest text goes at the interval's end.
    entry.waiting = true;
    if (entry.timer == nullptr) {
        entry.timer = new QTimer(this);
        entry.timer->setSingleShot(true);
        connect(entry.timer, &QTimer::timeout, this,
                [this, key = static_cast<const QWidget*>(control)] {
                    auto found = entries_.find(key);
                    if (found != entries_.end() && found->second.waiting)
                        Announce(found->second);
                });
    }
    if (!entry.timer->isActive())
        entry.timer->start(static_cast<int>(intervalMs_ - (now - entry.lastMs)));
}

void Announcer::Announce(Entry& entry) {
    entry.waiting = false;
    entry.lastMs = QDateTime::currentMSecsSinceEpoch();
    QWidget* control = entry.control.data();
    if (control == nullptr)
        return;
    // Setting the name sends the name-change event that readers follow.
    control->setAccessibleName(entry.text);
    if (entry.alert && !entry.text.isEmpty()) {
        QAccessibleEvent event(control, QAccessible::Alert);
        QAccessible::updateAccessibility(&event);
    }
    entry.alert = false;
}

} // namespace koravel
