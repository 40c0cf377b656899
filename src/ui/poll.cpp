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

// kHz as "00.000 MHz", with the user's decimal separator.
QString FrequencyText(std::uint32_t khz) {
    return QStringLiteral("%1%2%3 MHz")
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
    switch (unit::WeighPollTick(answers, UnitConnected, SilentTicks)) {
    case unit::PollVerdict::Answered:
        SetLinkButtons(true);
        // A reply too short for the fields still answers, but shows nothing.
        if (const std::optional<StatusReply> status = unit::PolledStatus(answers))
            DecodeStatus(*status);
        break;
    case unit::PollVerdict::LinkLost:
        lStatus->setText(QStringLiteral("Stato: in connessione..."));
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

    RenderStatusBar();
}

void TfmMain::DecodeStatus(const StatusReply& reply) {
    FirmwareVersion = reply.FirmwareVersion();
    lStatus->setText(
        QStringLiteral("Connesso con Koravel v%1.%2").arg(reply.fwMajor).arg(reply.fwMinor));

    ReportedFrequency = reply.freqKhz;
    lFreq->setText(FrequencyText(reply.freqKhz));

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
