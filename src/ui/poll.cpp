// The status poll and the display: the 400 ms tick that reads the unit's
// answer and sends the next request, the decoding of a status reply into the
// front panel, the link state, and the 50 ms tick's lamps and blink.
#include "ui/koravelu.h"

#include "protocol/bands.h"
#include "protocol/status_reply.h"
#include "ui/colors.h"
#include "ui/looks.h"
#include "ui/shape.h"
#include "unit/link_state.h"
#include "unit/unit.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

using namespace koravel;
using namespace koravel::colors;

namespace {

const QString kCustomMarker = QStringLiteral(" (custom)");

// Replies at rest that may go by without reporting a tune asked for before
// the arrows step from the reported frequency again (a tune the unit
// refused, or one beyond its limits).
constexpr int kCommandedMisses = 5;

// kHz as "00.000 MHz", with the user's decimal separator.
QString FrequencyText(std::uint32_t khz) {
    return TfmMain::tr("%1%2%3 MHz")
        .arg(khz / 1000, 2, 10, QLatin1Char('0'))
        .arg(QLocale().decimalPoint())
        .arg(khz % 1000, 3, 10, QLatin1Char('0'));
}

} // namespace

void TfmMain::SetLinkButtons(bool enabled) {
    btImposta->setEnabled(enabled);
    btRetract->setEnabled(enabled);
}

void TfmMain::tmPollTimer() {
    // 1. Retract indication, from the frequency of earlier replies.
    Retract_Panel->setVisible(ReportedFrequency == 0);
    if (ReportedFrequency == 0) {
        Message1->setText(QStringLiteral("ELEMENTS"));
        Message2->setText(QStringLiteral("RETRACTED"));
    }

    // 2. The Cat menu mirrors the rig selection; marks are set, never cleared.
    if (ckOmni1->isChecked())
        Radio1->setChecked(true);
    if (ckOmni2->isChecked())
        Radio2->setChecked(true);

    // 3. OmniRig start: once the link is up and a rig is selected, the CAT
    //    client is created and connected, once in the run (radio tracking).
    //    Its error box waits until the tick has ended (below).
    const bool trackingFailed = UnitConnected && (ckOmni1->isChecked() || ckOmni2->isChecked()) &&
                                OmniRigClient == nullptr && !ConnectOmniRig();

    // 4. The rig highlight fades back to green.
    if (RigHighlightTicks != 0) {
        --RigHighlightTicks;
        if (RigHighlightTicks == 0) {
            for (QCheckBox* box : {ckOmni1, ckOmni2}) {
                if (BackgroundOf(box) == clLime)
                    SetBackground(box, clGreen);
            }
        }
    }

    // 5. The answers to the recent requests, however late they came.
    const unit::PollAnswers answers = unit_->CollectPollAnswers();
    const unit::PollVerdict verdict = unit::WeighPollTick(answers, UnitConnected, SilentTicks);
    if (answers.answered) {
        QuietTicks = 0;
        heardOnPort_ = true;
    } else if (!answers.otherFrames && heardOnPort_) {
        // How long the unit has been silent, also once the link is down.
        ++QuietTicks;
    }
    switch (verdict) {
    case unit::PollVerdict::Answered:
        SetLinkButtons(true);
        // A reply too short for the fields still answers, but shows nothing.
        if (const std::optional<StatusReply> status = unit::PolledStatus(answers))
            DecodeStatus(*status);
        break;
    case unit::PollVerdict::LinkLost:
        lStatus->setText(tr("Status: connecting..."));
        SetLinkButtons(false);
        // Nothing is known to be moving any more: the blink stops.
        ElementsMoving = false;
        break;
    case unit::PollVerdict::Silent:
        break;
    }
    // The transmit warning, from what this reply (or the silence) told.
    UpdateTxWarning();

    // 6. The next request, connected or not.
    unit_->SendRequest(kCommandStatus, {});

    // The box of step 3 waits until the tick has ended: a box shown inside
    // it would hold the poll up for as long as it is open.
    if (trackingFailed)
        ShowTrackingConnectErrorLater();

    // A followed rig beyond the antenna's range is told from its first
    // reading, whether or not it has moved since.
    WatchRigRanges();

    RenderLinkDisplay();
    RenderStatusBar();
}

void TfmMain::DecodeStatus(const StatusReply& reply) {
    FirmwareVersion = reply.FirmwareVersion();
    lStatus->setText(tr("Connected to Koravel v%1.%2").arg(reply.fwMajor).arg(reply.fwMinor));

    ReportedFrequency = reply.freqKhz;
    shownFrequency_ = FrequencyText(reply.freqKhz);
    lFreq->setText(shownFrequency_);
    statusDecoded_ = true;
    // A tune asked for is the arrows' base until the unit reports it, or
    // until it has stood still for a while on another frequency.
    if (CommandedFrequency >= 0) {
        if (static_cast<std::int32_t>(reply.freqKhz) == CommandedFrequency)
            CommandedFrequency = -1;
        else if (reply.moving == 0 && ++commandedMisses_ >= kCommandedMisses)
            CommandedFrequency = -1;
    }

    switch (reply.direction) {
    case 0:
        SetTextColor(lBidir, clGray);
        ldBidir->setBrushColor(clMaroon);
        ld180->setBrushColor(clGreen);
        break;
    case 1:
        SetTextColor(lBidir, clSilver);
        ldBidir->setBrushColor(clSilver);
        ld180->setBrushColor(clLime);
        break;
    case 2:
        SetTextColor(lBidir, clWhite);
        ldBidir->setBrushColor(clRed);
        ld180->setBrushColor(clGreen);
        break;
    default: // unknown directions leave the lamps as they are
        break;
    }

    SetBackground(Panel1, (reply.flags & kFlagDarkPanel) != 0 ? clBlack : clBlue);

    // The band that holds the frequency; once shown, the custom marker stays.
    const bool marked = lBanda->text().endsWith(kCustomMarker);
    QString band = QString::fromLatin1(BandNameFor(reply.freqKhz));
    if (marked)
        band += kCustomMarker;
    if ((reply.flags & kFlagCustom) != 0 && !band.endsWith(kCustomMarker))
        band += kCustomMarker;
    lBanda->setText(band);

    ElementsMoving = reply.moving != 0;
}

void TfmMain::tmTimerTimer() {
    ldTX->setBrushColor(clGreen);
    // The unit takes bytes as soon as they arrive: the lamp shows what came
    // since the last tick as well as what still waits at the port.
    const std::uint64_t read = unit_->BytesRead();
    const bool received = read != rxMark_ || unit_->Port().InputCount() != 0;
    rxMark_ = read;
    ldRX->setBrushColor(received ? clNavy : clAqua);
    MovingIndicatorTick();
}

void TfmMain::MovingIndicatorTick() {
    if (!ElementsMoving) {
        Label13->hide();
        SetBackground(Label13, clYellow);
        SetTextColor(lMove, clGray);
        ldMove->setBrushColor(clGray);
        return;
    }
    if (TextColorOf(lMove) == clGray) {
        // Phase A: "MOVING ELEMENTS..." on black.
        Label13->show();
        SetBackground(Label13, clBlack);
        SetTextColor(lMove, clWhite);
        ldMove->setBrushColor(clGreen);
    } else {
        // Phase B: on red.
        ldMove->setBrushColor(clBlack);
        SetTextColor(lMove, clGray);
        SetBackground(Label13, clRed);
    }
}
