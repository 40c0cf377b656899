// What koravelctl follow tells, as text lines or as JSON lines (--json).
// The text lines:
//   following rig N (SOURCE, omnirig.ini's path); Ctrl-C ends
//   rig N: STATUS TEXT
//   rig N: HZ Hz -> KHZ kHz: done | no reply | refused (status S) |
//          superseded by a newer frequency
//   rig N: HZ Hz: out of the antenna's range (up to 65535 kHz), not sent
//   WARNING: transmitting while the elements move / transmit warning over: ...
//   COM N (...): connection lost ... / connected again
// The JSON lines each begin with "time" and name their "event":
//   following      rig, source, settings (omnirig.ini's path)
//   rig_status     rig, status (0 to 4, OmniRig's values), text
//   tune           rig, frequency_hz, frequency_khz, result (done, no reply,
//                  refused, superseded), status (the unit's, when refused)
//   out_of_range   rig, frequency_hz, max_khz
//   transmit_warning  warning (true while it holds), text
//   connection     link (up or down), text
#pragma once

#include "follow/tx_warning.h"

#include <cstdint>
#include <string>

namespace unit {
struct Reply;
}

namespace ctl {

class FollowOutput {
public:
    explicit FollowOutput(bool json) : json_(json) {}

    void Following(int rig, const std::string& source, const std::string& settingsPath) const;
    void RigStatus(int rig, int status, const std::string& text) const;
    void Tuned(int rig, std::int64_t hz, std::uint32_t khz, const unit::Reply& reply) const;
    void OutOfRange(int rig, std::int64_t hz) const;
    void TxWarning(follow::TxWarning::Change change) const;
    void Connection(bool connected, const std::string& text) const;

private:
    bool json_;
};

} // namespace ctl
