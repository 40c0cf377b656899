// Tells screen readers what changed on a control, no more often than they can
// follow: a control's accessible name is set to its text and announced at
// most once per interval; the newest text waits for the interval's end.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <map>

class QTimer;
class QWidget;

namespace koravel {

class Announcer : public QObject {
    Q_OBJECT
public:
    // At most one announcement per control every intervalMs.
    explicit Announcer(int intervalMs, QObject* parent = nullptr);

    // The control now says text (its accessible name, as a reader reads it);
    // alert marks a notice the operator must hear (sent as an alert too).
    // An unchanged text announces nothing.
    void Say(QWidget* control, const QString& text, bool alert = false);

private:
    struct Entry {
        QPointer<QWidget> control;
        QString text;
        bool alert = false;
        bool waiting = false;
        qint64 lastMs = -1;
        QTimer* timer = nullptr;
    };
    void Announce(Entry& entry);

    int intervalMs_;
    std::map<const QWidget*, Entry> entries_;
};

} // namespace koravel
