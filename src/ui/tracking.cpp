// Radio tracking: the "Cat" menu's rig selection, the connection sequence of
// the CAT client, the tracking step that sends the followed rig's frequency
// to the unit whenever the rig's parameters change, and the rig indicators.
#include "ui/koravelu.h"

#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"
#include "follow/follow_rule.h"
#include "station/config_dir.h"
#include "ui/colors.h"
#include "ui/looks.h"
#include "ui/rig_settings_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QLocale>
#include <QPalette>

#include <optional>

using namespace koravel;
using namespace koravel::colors;

namespace {

// Poll ticks a lime indicator stays lime after an on-line notification.
constexpr std::int32_t kHighlightTicks = 5;

const char* const kTrackingTitle = "Koravel Utility";
const char* const kConnectError =
    QT_TRANSLATE_NOOP("TfmMain", "Error connecting to OmniRig - Check installation");
// Title of the box that carries an error of the CAT client in its own words.
const char* const kProgramTitle = "Koravel";

// The "rig not followed" colour: the face of a push button.
QColor ButtonFace(const QWidget* box) {
    return box->palette().color(QPalette::Button);
}

} // namespace

void TfmMain::ConnectCatMenu() {
    connect(Radio1, &QAction::triggered, this, &TfmMain::Radio1Click);
    connect(Radio2, &QAction::triggered, this, &TfmMain::Radio2Click);
    connect(NoRadio, &QAction::triggered, this, &TfmMain::NoRadioClick);
    connect(ConfigRadio1, &QAction::triggered, this, &TfmMain::ConfigRadio1Click);
}

// The toolkit flips a checkable item's mark before the handler runs; each
// handler then sets all three marks itself. None connects or disconnects: a
// newly chosen rig is followed from its next notification.
void TfmMain::Radio1Click() {
    ckOmni1->setChecked(true);
    ckOmni2->setChecked(false);
    Radio1->setChecked(true);
    Radio2->setChecked(false);
    NoRadio->setChecked(false);
}

void TfmMain::Radio2Click() {
    ckOmni1->setChecked(false);
    ckOmni2->setChecked(true);
    Radio1->setChecked(false);
    Radio2->setChecked(true);
    NoRadio->setChecked(false);
}

void TfmMain::NoRadioClick() {
    ckOmni1->setChecked(false);
    ckOmni2->setChecked(false);
    Radio1->setChecked(false);
    Radio2->setChecked(false);
    NoRadio->setChecked(true);
}

void TfmMain::ConfigRadio1Click() {
    if (OmniRigClient == nullptr && !ConnectOmniRig())
        prompter_->Message(QString::fromLatin1(kTrackingTitle), tr(kConnectError));
    // A client whose connection failed tries again before showing its dialog.
    if (!OmniRigClient->SetDialogVisible(true))
        prompter_->Message(QString::fromLatin1(kProgramTitle), OmniRigClient->LastError());
}

bool TfmMain::ConnectOmniRig() {
    if (OmniRigClient != nullptr)
        return true;
    // Stored before anything can pump messages, so a nested poll tick never
    // starts a second sequence. It stays, connected or not, until the window
    // goes.
    OmniRigClient = new TOmniRigX(this, QString::fromStdString(ConfigDir()));
    // The back end shows its settings ("Config Radio") in the window's dialog.
    AttachRigSettingsDialog(*OmniRigClient, this);
    // Bound before connecting: a client whose first connection failed and
    // that "Config Radio" connects later is followed as well.
    OmniRigClient->OnParamsChange = [this](TOmniRigX* sender, int rigNumber, int params) {
        OmniRigParamsChange(sender, rigNumber, params);
    };

    bool ok = OmniRigClient->Connect();
    if (ok && ckOmni1->isChecked())
        ok = TrackRig(1);
    if (ok && ckOmni2->isChecked())
        ok = TrackRig(2);
    return ok;
}

void TfmMain::ShowTrackingConnectErrorLater() {
    // Queued to the event loop: the box's own loop must not run inside the
    // running handler.
    QMetaObject::invokeMethod(
        this,
        [this] { prompter_->Message(QString::fromLatin1(kTrackingTitle), tr(kConnectError)); },
        Qt::QueuedConnection);
}

void TfmMain::OmniRigParamsChange(TOmniRigX* Sender, int RigNumber, int Params) {
    (void)Sender;
    // The PTT may have changed: the warning goes up (or away) before the step
    // waits for any exchange.
    if (UpdateTxWarning())
        RenderStatusBar();
    // Every change sends the current frequency again, but for the PTT alone.
    // A read that fails here ends the step quietly; the next notification
    // runs it afresh.
    (void)TrackRig(RigNumber, follow::RetuneOn(Params, cat::kParamTx));
}

QCheckBox* TfmMain::RigBox(int rigNumber) const {
    return rigNumber == 1 ? ckOmni1 : ckOmni2;
}

bool TfmMain::NoteRigRange(int rigNumber, const follow::Step& step) {
    RigRange[static_cast<std::size_t>(rigNumber - 1)].Update(step);
    const QString noticeKey = QStringLiteral("rig%1-range").arg(rigNumber);
    if (step.verdict == follow::Step::Verdict::OutOfRange) {
        SetStatusNotice(
            noticeKey,
            tr("Rig %1 at %2 MHz is beyond the antenna's range: not sent")
                .arg(rigNumber)
                .arg(QLocale().toString(static_cast<double>(step.khz) / 1000.0, 'f', 3)),
            true);
        return false;
    }
    SetStatusNotice(noticeKey, {});
    return true;
}

void TfmMain::WatchRigRanges() {
    if (OmniRigClient == nullptr)
        return;
    for (int rigNumber = 1; rigNumber <= 2; ++rigNumber) {
        const IRigX* rig = rigNumber == 1 ? OmniRigClient->Rig1() : OmniRigClient->Rig2();
        if (!RigBox(rigNumber)->isChecked() || rig == nullptr ||
            rig->Status() != follow::kRigOnLine) {
            SetStatusNotice(QStringLiteral("rig%1-range").arg(rigNumber), {});
            continue;
        }
        const follow::Step step = follow::StepFor(rig->Freq());
        if (step.verdict != follow::Step::Verdict::NoFrequency)
            (void)NoteRigRange(rigNumber, step);
    }
}

bool TfmMain::TrackRig(int rigNumber, bool sendFrequency) {
    if (OmniRigClient == nullptr || (rigNumber != 1 && rigNumber != 2))
        return true;
    QCheckBox* box = RigBox(rigNumber);
    if (!box->isChecked()) {
        SetBackground(box, ButtonFace(box));
        return true;
    }
    auto rig = [this, rigNumber] {
        return rigNumber == 1 ? OmniRigClient->Rig1() : OmniRigClient->Rig2();
    };
    if (rig() == nullptr)
        return false; // no server to ask
    if (rig()->Status() != follow::kRigOnLine) {
        SetBackground(box, clOlive);
        return true;
    }
    SetBackground(box, clLime);
    RigHighlightTicks = kHighlightTicks;
    if (!UnitConnected)
        return true;

    const IRigX* const current = rig();
    if (current == nullptr)
        return false; // the server went
    // A frequency that cannot be read ends the step quietly; the rig's next
    // notification tries again. It is no fault of the connection.
    const std::optional<std::int64_t> hz = current->FreqHz();
    const follow::Step step = follow::StepFor(hz);
    if (step.verdict == follow::Step::Verdict::NoFrequency)
        return true;
    if (!NoteRigRange(rigNumber, step) || !sendFrequency)
        return true;
    // The answer is not examined. Like every operator command, the step
    // enables the exchange before it: tracking reaches the unit from the
    // first notification after start-up.
    SendTune(step.khz);
    return true;
}
