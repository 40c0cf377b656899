// --follow: the antenna follows the rigs chosen in koravel.ini (Rig1 and
// Rig2 of [OmniRig]) through the CAT back end configured in omnirig.ini,
// with no window open. The follow rule, the antenna's range and the
// transmit-while-moving rule are the ones the window and koravelctl follow
// use (src/follow); sends are operator commands of the station (newest wins
// over every client's). As in the window, the CAT client starts once the
// unit has first answered, and each rig's frequency is sent then and on
// every change of its parameters but for the PTT alone.
#pragma once

#include "follow/follow_rule.h"
#include "follow/tx_warning.h"

#include <functional>
#include <memory>
#include <string>

class TOmniRigX;

namespace server {

class Station;

class RigFollower {
public:
    RigFollower(Station& station, bool rig1, bool rig2,
                std::function<void(const std::string&)> log);
    ~RigFollower();
    RigFollower(const RigFollower&) = delete;
    RigFollower& operator=(const RigFollower&) = delete;

    // Connects the CAT back end (at the unit's first answer).
    void Start();

private:
    void ParamsChanged(int rigNumber, int params);
    void Track(int rigNumber, bool send);
    // The rigs and the transmit warning into the station's state.
    void Show();
    bool Followed(int rigNumber) const { return rigNumber == 1 ? rig1_ : rig2_; }

    Station& station_;
    bool rig1_;
    bool rig2_;
    std::function<void(const std::string&)> log_;
    std::unique_ptr<TOmniRigX> client_;
    follow::RangeWatch range_[2];
    follow::TxWarning txWarning_;
};

} // namespace server
