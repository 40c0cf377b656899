// koravelctl follow's transmit-while-moving warning, by the rule the window
// follows (follow/tx_warning.h). follow has no status poll of its own: while
// the followed rig transmits, it asks the unit's status (command 1, through
// Transact as `status` does, so that it never supersedes a frequency send) at
// most every 400 ms, and never while a frequency send is under way. It prints
//   WARNING: transmitting while the elements move
// each time the rig transmits while the unit reports its elements moving, and
// one "transmit warning over: ..." line when that ends. A status query that
// gets no reply leaves what was known.
#pragma once

#include "follow/tx_warning.h"

#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <string>

class IRigX;

namespace unit {
class Unit;
}

namespace ctl {

class TxWarningWatch {
public:
    // rig: the followed rig. sending: true while a frequency send waits for
    // its answer. tell: the warning started or ended (the line to print is
    // follow::ChangeText(change)).
    TxWarningWatch(unit::Unit& unit, const IRigX& rig, std::function<bool()> sending,
                   std::function<void(follow::TxWarning::Change change)> tell);
    TxWarningWatch(const TxWarningWatch&) = delete;
    TxWarningWatch& operator=(const TxWarningWatch&) = delete;

    // The rig's parameters changed (its PTT among them, or it went off line).
    void RigChanged();

private:
    // Asks the unit whether its elements move. fromTimer false: at once,
    // unless the last query was less than the interval ago.
    void Query(bool fromTimer);
    // Prints what starts or ends.
    void Weigh();

    unit::Unit& unit_;
    const IRigX& rig_;
    std::function<bool()> sending_;
    std::function<void(follow::TxWarning::Change)> tell_;
    QTimer timer_;
    QElapsedTimer sinceQuery_;
    bool transmitting_ = false;
    bool moving_ = false; // as the unit last said while the rig transmitted
    follow::TxWarning warning_;
    bool querying_ = false;
};

} // namespace ctl
