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

// Every operator command: reply flag set, 4 attempts of 100 ms.
constexpr bool kReplyFlag = true;
constexpr int kAttempts = 4;
constexpr int kTimeoutMs = 100;
constexpr int kArrowStepKhz = 25;

// Band buttons, kHz.
constexpr std::uint32_t k40m = 7050;
constexpr std::uint32_t k30m = 10125;
constexpr std::uint32_t k20m = 14200;
constexpr std::uint32_t k17m = 18100;
constexpr std::uint32_t k15m = 21200;
constexpr std::uint32_t k12m = 24950;
constexpr std::uint32_t k10m = 28500;
constexpr std::uint32_t k6m = 50100;

constexpr std::uint8_t kNormal = 0;
constexpr std::uint8_t kReversed = 1;
constexpr std::uint8_t kBidirectional = 2;

// A frequency taken modulo 65536, as the unit's 16-bit argument holds it.
std::uint32_t Wrap16(std::int64_t khz) {
    return static_cast<std::uint32_t>(khz & 0xFFFF);
}

} // namespace

void TfmMain::SendCommand(std::uint8_t command, const std::vector<std::uint8_t>& argument) {
    exchange::ExchangeEnabled = true;
    // Nested handlers may run while the exchange waits: nothing of this
    // window is held across the call.
    (void)exchange::Transact(command, argument, kReplyFlag, kAttempts, kTimeoutMs);
}

void TfmMain::SendTune(std::uint32_t khz) {
    SendCommand(kCommandTune, TuneArgument(khz));
}

void TfmMain::Image12Click() {
    SendTune(k40m);
}
void TfmMain::Image13Click() {
    SendTune(k30m);
}
void TfmMain::Image14Click() {
    SendTune(k20m);
}
void TfmMain::Image15Click() {
    SendTune(k17m);
}
void TfmMain::Image2Click() {
    SendTune(k15m);
}
void TfmMain::Image4Click() {
    SendTune(k12m);
}
void TfmMain::Image5Click() {
    SendTune(k10m);
}
void TfmMain::Image6Click() {
    SendTune(k6m);
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
    DirectionClick(Image20, kNormal);
}
void TfmMain::Image18Click() {
    DirectionClick(Image18, kReversed);
}
void TfmMain::Image19Click() {
    DirectionClick(Image19, kBidirectional);
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
