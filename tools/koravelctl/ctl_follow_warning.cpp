#include "ctl_follow_warning.h"

#include "cat/omnirig_tlb.h"
#include "ctl_link.h"

#include <utility>

namespace ctl {

namespace {

// The shortest time between two status queries: the window's poll interval.
constexpr int kQueryMs = 400;

} // namespace

TxWarningWatch::TxWarningWatch(unit::Unit& unit, const IRigX& rig, std::function<bool()> sending,
                               std::function<void(follow::TxWarning::Change)> tell)
    : unit_(unit), rig_(rig), sending_(std::move(sending)), tell_(std::move(tell)) {
    timer_.setInterval(kQueryMs);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { Query(/*fromTimer=*/true); });
}

void TxWarningWatch::RigChanged() {
    const bool transmitting = rig_.Tx();
    if (transmitting == transmitting_)
        return;
    transmitting_ = transmitting;
    if (transmitting) {
        timer_.start();
        Query(/*fromTimer=*/false);
        return;
    }
    timer_.stop();
    // Not asked while the rig receives: what the unit said is stale by the
    // next transmission.
    moving_ = false;
    Weigh();
}

void TxWarningWatch::Query(bool fromTimer) {
    if (!transmitting_ || querying_ || sending_())
        return; // the timer's next tick asks again
    if (!fromTimer && sinceQuery_.isValid() && sinceQuery_.elapsed() < kQueryMs)
        return;
    querying_ = true;
    sinceQuery_.start();
    QueryStatus(unit_, [this](const StatusResult& result) {
        querying_ = false;
        // The rig may have stopped transmitting meanwhile: then the answer
        // comes too late to matter.
        if (!transmitting_)
            return;
        if (result.reply)
            moving_ = result.reply->moving != 0;
        Weigh();
    });
}

void TxWarningWatch::Weigh() {
    const follow::TxWarning::Change change = warning_.Update(transmitting_, moving_);
    if (change != follow::TxWarning::Change::None)
        tell_(change);
}

} // namespace ctl
