// What the front panel claims about the unit, held to what the window knows:
// a unit that has stopped answering is said to be silent from its second
// second (status bar) and its read-out is dimmed; while the link is down the
// pilot lamp is not green and the read-out shows no frequency as current; a
// reported 0 kHz (the elements retracted) is written over the read-out and in
// the status bar. The texts the operator reads are announced to screen
// readers as they change (the frequency at most every 300 ms).
#include "ui/koravelu.h"

#include "ui/announcer.h"
#include "ui/colors.h"
#include "ui/elided_label.h"
#include "ui/looks.h"
#include "ui/shape.h"

#include <QLabel>
#include <QStatusBar>

using namespace koravel;
using namespace koravel::colors;

namespace {

const QString kSilenceKey = QStringLiteral("silence");
const QString kRetractedKey = QStringLiteral("retracted");

// The pilot lamp drawn in the picture, above the power switch.
const QRect kPilotLamp(38, 211, 13, 13);
const QColor kPilotOn{0x3C, 0xE6, 0x5A};
const QColor kPilotSilent{0xFF, 0xB0, 0x00};
const QColor kPilotOff{0x30, 0x30, 0x30};
// The read-out's yellow, dimmed.
const QColor kDimYellow{0x80, 0x80, 0x20};

constexpr int kAnnounceIntervalMs = 300;
// The notices line changes every second while the unit is silent: a reader
// hears its first change at once, and then at most one every 3 s.
constexpr int kNoticeIntervalMs = 3000;

} // namespace

void TfmMain::BuildLinkDisplay() {
    ldPower = new TShape(TShape::Kind::Circle, kPilotOff, pnBlue);
    ldPower->setObjectName(QStringLiteral("ldPower"));
    ldPower->setGeometry(kPilotLamp);
    ldPower->setAttribute(Qt::WA_TransparentForMouseEvents);

    // The retracted elements, said where the operator looks: over the
    // read-out (the retract panel's own place lies beyond the picture).
    lRetracted = new QLabel(tr("ELEMENTS RETRACTED"), pnBlue);
    lRetracted->setObjectName(QStringLiteral("lRetracted"));
    lRetracted->setGeometry(lFreq->geometry());
    lRetracted->setAlignment(Qt::AlignCenter);
    lRetracted->setFont(FitWidth(lFreq->font(), lRetracted->text(), lFreq->width() - 8));
    lRetracted->setAttribute(Qt::WA_TransparentForMouseEvents);
    SetTextColor(lRetracted, clYellow);
    SetBackground(lRetracted, clBlack);
    lRetracted->hide();

    announcer_ = new Announcer(kAnnounceIntervalMs, this);
    noticeAnnouncer_ = new Announcer(kNoticeIntervalMs, this);
}

int TfmMain::SilentSeconds() const {
    return QuietTicks * 400 / 1000;
}

void TfmMain::RenderLinkDisplay() {
    // Silence: counted from the last frame heard while a unit had answered
    // on this port; told from the second second on.
    const bool silent = heardOnPort_ && SilentSeconds() >= 1;
    SetStatusNotice(kSilenceKey,
                    silent ? tr("No reply from the unit for %n s", "", SilentSeconds()) : QString(),
                    true);

    // The read-out: the reported frequency while the link is up, dimmed
    // while the unit is silent; no frequency as current once it is down.
    if (UnitConnected && statusDecoded_) {
        if (lFreq->text() != shownFrequency_)
            lFreq->setText(shownFrequency_);
    } else if (statusDecoded_) {
        lFreq->setText(tr("--.--- MHz"));
    }
    const bool dim = silent || !UnitConnected;
    SetTextColor(lFreq, dim ? kDimYellow : clYellow);
    SetTextColor(lBanda, dim ? kDimYellow : clYellow);

    // Retracted: only what a reply reported, not the 0 the window starts
    // with, and not while the elements run out. A state, not a fault.
    const bool retracted =
        UnitConnected && statusDecoded_ && ReportedFrequency == 0 && !ElementsMoving;
    lRetracted->setVisible(retracted);
    if (retracted)
        lRetracted->raise();
    SetStatusNotice(kRetractedKey, retracted ? tr("ELEMENTS RETRACTED") : QString());

    ldPower->setBrushColor(!UnitConnected ? kPilotOff : silent ? kPilotSilent : kPilotOn);

    // What a screen reader reads of the read-out.
    QString readout = retracted ? lRetracted->text() : lFreq->text();
    if (!lBanda->text().isEmpty())
        readout += QStringLiteral(", ") + lBanda->text();
    if (ElementsMoving)
        readout += QStringLiteral(", ") + Label13->text();
    announcer_->Say(lFreq, readout);
}

void TfmMain::AnnounceStatusBar(const QString& linkState, const QString& notices, bool alarm) {
    announcer_->Say(lLinkState, linkState);
    noticeAnnouncer_->Say(lNotice, notices, alarm);
}
