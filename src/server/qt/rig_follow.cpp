#include "server/qt/rig_follow.h"

#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"
#include "protocol/commands.h"
#include "server/qt/station.h"
#include "station/config_dir.h"

namespace server {

RigFollower::RigFollower(Station& station, bool rig1, bool rig2,
                         std::function<void(const std::string&)> log)
    : station_(station), rig1_(rig1), rig2_(rig2), log_(std::move(log)) {
    station_.OnChange([this] { Show(); });
}

RigFollower::~RigFollower() {
    client_.reset();
}

void RigFollower::Start() {
    if (client_ != nullptr || (!rig1_ && !rig2_))
        return;
    client_ = std::make_unique<TOmniRigX>(nullptr, QString::fromStdString(koravel::ConfigDir()));
    client_->OnParamsChange = [this](TOmniRigX*, int rigNumber, int params) {
        ParamsChanged(rigNumber, params);
    };
    client_->OnStatusChange = [this](TOmniRigX*, int rigNumber) {
        if (!Followed(rigNumber))
            return;
        IRigX* rig = rigNumber == 1 ? client_->Rig1() : client_->Rig2();
        log_("rig " + std::to_string(rigNumber) + ": " + rig->StatusStr().toStdString());
        Show();
    };
    if (!client_->Connect()) {
        log_("the CAT back end does not connect: " + client_->LastError().toStdString());
        station_.SetNotice("cat", "CAT: " + client_->LastError().toStdString());
        return;
    }
    for (int rigNumber = 1; rigNumber <= 2; ++rigNumber) {
        if (Followed(rigNumber))
            Track(rigNumber, true);
    }
    Show();
}

void RigFollower::ParamsChanged(int rigNumber, int params) {
    // The PTT may have changed: the warning first.
    Show();
    Track(rigNumber, follow::RetuneOn(params, cat::kParamTx));
}

void RigFollower::Track(int rigNumber, bool send) {
    if (client_ == nullptr || !Followed(rigNumber))
        return;
    IRigX* rig = rigNumber == 1 ? client_->Rig1() : client_->Rig2();
    if (rig == nullptr || rig->Status() != follow::kRigOnLine || !station_.Connected())
        return;
    const follow::Step step = follow::StepFor(rig->FreqHz());
    if (step.verdict == follow::Step::Verdict::NoFrequency)
        return;
    const std::string key = "rig" + std::to_string(rigNumber) + "-range";
    if (range_[rigNumber - 1].Update(step))
        log_("rig " + std::to_string(rigNumber) + " is beyond the antenna's range: not sent");
    if (step.verdict == follow::Step::Verdict::OutOfRange) {
        station_.SetNotice(key, "Rig " + std::to_string(rigNumber) + " at " +
                                    std::to_string(step.khz) +
                                    " kHz is beyond the antenna's range: not sent");
        Show();
        return;
    }
    station_.SetNotice(key, {});
    if (send)
        station_.Command(koravel::kCommandTune, koravel::TuneArgument(step.khz), {});
    Show();
}

void RigFollower::Show() {
    if (client_ == nullptr)
        return;
    std::vector<RigView> rigs;
    bool transmitting = false;
    for (int rigNumber = 1; rigNumber <= 2; ++rigNumber) {
        if (!Followed(rigNumber))
            continue;
        IRigX* rig = rigNumber == 1 ? client_->Rig1() : client_->Rig2();
        if (rig == nullptr)
            continue;
        RigView view;
        view.number = rigNumber;
        view.status = rig->StatusStr().toStdString();
        if (rig->Status() == follow::kRigOnLine) {
            if (const auto hz = rig->Freq())
                view.hz = *hz;
        }
        view.transmitting = rig->Tx();
        view.outOfRange = range_[rigNumber - 1].OutOfRange();
        transmitting = transmitting || view.transmitting;
        rigs.push_back(std::move(view));
    }
    const follow::TxWarning::Change change =
        txWarning_.Update(transmitting, station_.State().moving);
    if (change != follow::TxWarning::Change::None)
        log_(follow::ChangeText(change));
    if (rigs != station_.State().rigs)
        station_.SetRigs(std::move(rigs));
    if (txWarning_.Warning() != station_.State().txWarning)
        station_.SetTxWarning(txWarning_.Warning());
}

} // namespace server
