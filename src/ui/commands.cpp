// The operator's commands from the front-panel picture: each click sends one
// command to the unit and drops its answer; the display follows from the
// next status replies.
#include "ui/koravelu.h"

#include "protocol/commands.h"
#include "protocol/front_panel.h"
#include "ui/image_box.h"
#include "unit/unit.h"

#include <QLabel>

using namespace koravel;

void TfmMain::SendCommand(std::uint8_t command, const std::vector<std::uint8_t>& argument,
                          std::function<void()> ended) {
    // The unit's queue takes it; the window goes on at once. A newer command
    // (a click, a tracking send) supersedes this one; either way the result
    // is not examined.
    unit_->SendCommand(command, argument, [ended = std::move(ended)](const unit::Reply&) {
        if (ended)
            ended();
    });
}

void TfmMain::SendTune(std::uint32_t khz) {
    // The next arrow steps from here until the unit reports it.
    CommandedFrequency = static_cast<std::int32_t>(khz & 0xFFFFu);
    commandedMisses_ = 0;
    SendCommand(kCommandTune, TuneArgument(khz));
}

std::int32_t TfmMain::BaseFrequency() const {
    return CommandedFrequency >= 0 ? CommandedFrequency : ReportedFrequency;
}

void TfmMain::Image12Click() {
    SendTune(BandKhz(40));
}
void TfmMain::Image13Click() {
    SendTune(BandKhz(30));
}
void TfmMain::Image14Click() {
    SendTune(BandKhz(20));
}
void TfmMain::Image15Click() {
    SendTune(BandKhz(17));
}
void TfmMain::Image2Click() {
    SendTune(BandKhz(15));
}
void TfmMain::Image4Click() {
    SendTune(BandKhz(12));
}
void TfmMain::Image5Click() {
    SendTune(BandKhz(10));
}
void TfmMain::Image6Click() {
    SendTune(BandKhz(6));
}

// The arrows step within the unit's range and send nothing at its ends: a
// step past 0 or past 65535 kHz would tune to a frequency nobody chose.
// Every click counts: a step taken before the unit has reported the last
// one steps on from it.
void TfmMain::Image17Click() {
    if (const auto khz = StepTarget(BaseFrequency(), -kArrowStepKhz))
        SendTune(*khz);
}
void TfmMain::Image16Click() {
    if (const auto khz = StepTarget(BaseFrequency(), kArrowStepKhz))
        SendTune(*khz);
}

void TfmMain::DirectionClick(TImage* area, std::uint8_t direction) {
    Image21->move(area->x(), area->y() + 30);
    Image21->show();
    // Within 16 bits: a status reply's, or a tune already sent.
    const auto khz = static_cast<std::uint32_t>(BaseFrequency());
    if (CommandedFrequency >= 0)
        commandedMisses_ = 0;
    SendCommand(kCommandTune, TuneArgument(khz, direction));
}

void TfmMain::Image20Click() {
    DirectionClick(Image20, kDirectionNormal);
}
void TfmMain::Image18Click() {
    DirectionClick(Image18, kDirectionReversed);
}
void TfmMain::Image19Click() {
    DirectionClick(Image19, kDirectionBidirectional);
}

void TfmMain::RetractAsked() {
    if (prompter_->Ask(QStringLiteral("Koravel"),
                       tr("Retract the elements? The antenna is unusable until it is tuned "
                          "again.")))
        Image24Click();
}

void TfmMain::Image24Click() {
    // The captions change once the exchange has ended, answered or not.
    SendCommand(kCommandRetract, {}, [this] {
        Message1->setText(tr("Elements"));
        Message2->setText(tr("Retracted"));
    });
}

void TfmMain::btRetractClick() {
    SendCommand(kCommandRetract, {});
}

void TfmMain::Image23Click() {
    close();
}
