// The operator's commands from the front-panel picture: each click sends one
// command to the unit and drops its answer; the display follows from the
// next status replies.
#include "ui/koravelu.h"

#include "link/exchange.h"
#include "link/status_reply.h"
#include "ui/image_box.h"

#include <QLabel>

using namespace koravel;

namespace {

constexpr int kArrowStepKhz = 25;

// A frequency taken modulo 65536, as the unit's 16-bit argument holds it.
std::uint32_t Wrap16(std::int64_t khz) {
    return static_cast<std::uint32_t>(khz & 0xFFFF);
}

} // namespace

void TfmMain::SendCommand(std::uint8_t command, const std::vector<std::uint8_t>& argument) {
    // Nested handlers may run while the exchange waits: nothing of this
    // window is held across the call.
    (void)exchange::SendCommand(command, argument);
}

void TfmMain::SendTune(std::uint32_t khz) {
    SendCommand(kCommandTune, TuneArgument(khz));
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

void TfmMain::Image17Click() {
    SendTune(Wrap16(std::int64_t{ReportedFrequency} - kArrowStepKhz));
}
void TfmMain::Image16Click() {
    SendTune(Wrap16(std::int64_t{ReportedFrequency} + kArrowStepKhz));
}

void TfmMain::DirectionClick(TImage* area, std::uint8_t direction) {
    Image21->move(area->x(), area->y() + 30);
    Image21->show();
    SendCommand(kCommandTune, TuneArgument(Wrap16(ReportedFrequency), direction));
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

void TfmMain::Image24Click() {
    SendCommand(kCommandRetract, {});
    Message1->setText(QStringLiteral("Elements"));
    Message2->setText(QStringLiteral("Retracted"));
}

void TfmMain::btRetractClick() {
    SendCommand(kCommandRetract, {});
}

void TfmMain::Image23Click() {
    close();
}
