// The transmit-while-moving rule: motorised elements must not be retuned
// under transmit power. While a followed rig transmits and the unit reports
// its elements moving, the operator is warned; the warning ends when the rig
// receives again or the elements stop. The window (a red label and the status
// bar), koravelctl follow (a WARNING line) and the station server weigh it
// here. Nothing is ever sent to the rig.
#pragma once

namespace follow {

class TxWarning {
public:
    enum class Change {
        None,
        Started,              // the warning begins
        EndedStopped,         // it ends: the elements stopped
        EndedNotTransmitting, // it ends: the rig receives again
    };

    // Weighs the rule with what is known now.
    Change Update(bool transmitting, bool moving);
    bool Warning() const { return warning_; }

private:
    bool warning_ = false;
};

// The line koravelctl prints for a change (empty for None).
const char* ChangeText(TxWarning::Change change);

} // namespace follow
