// The transmit-while-moving warning: motorised elements must not be retuned
// under transmit power. While the unit reports its elements moving and a
// followed rig reports its PTT on, a red label lies over the band label and
// the status bar says the same in red. The condition is weighed on every
// poll tick (after the status reply is decoded, or the link is found down)
// and on every parameter-change notification of the CAT client, which comes
// when a rig's PTT changes. Nothing is ever sent to the rig.
#include "ui/koravelu.h"

#include "cat/omnirig_tlb.h"
#include "ui/colors.h"
#include "ui/looks.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>

using namespace koravel;
using namespace koravel::colors;

namespace {

const char* const kTxWarningText =
    QT_TRANSLATE_NOOP("TfmMain", "TRANSMITTING WHILE THE ELEMENTS MOVE");
const QString kTxNoticeKey = QStringLiteral("transmit");

} // namespace

void TfmMain::BuildTxWarning() {
    // Over lBanda and the "MOVING ELEMENTS..." label, which overlaps lBanda's
    // lower half: made after every control of the front panel, so it lies
    // above them. lBanda's own text (and its custom marker) stays beneath.
    lTxWarning = new QLabel(tr(kTxWarningText), pnBlue);
    lTxWarning->setObjectName(QStringLiteral("lTxWarning"));
    lTxWarning->setGeometry(lBanda->geometry().united(Label13->geometry()));
    lTxWarning->setAlignment(Qt::AlignCenter);
    lTxWarning->setFont(
        FitWidth(Face({"Arial", "Liberation Sans", "DejaVu Sans"}, QFont::SansSerif, 16, true),
                 lTxWarning->text(), lTxWarning->width() - 8));
    lTxWarning->setAttribute(Qt::WA_TransparentForMouseEvents);
    SetTextColor(lTxWarning, clWhite);
    SetBackground(lTxWarning, clRed);
    lTxWarning->hide();
}

bool TfmMain::FollowedRigTransmits() const {
    if (OmniRigClient == nullptr)
        return false;
    for (int rigNumber = 1; rigNumber <= 2; ++rigNumber) {
        if (!RigBox(rigNumber)->isChecked())
            continue;
        const IRigX* rig = rigNumber == 1 ? OmniRigClient->Rig1() : OmniRigClient->Rig2();
        if (rig != nullptr && rig->Tx())
            return true;
    }
    return false;
}

bool TfmMain::UpdateTxWarning() {
    if (TxWhileMoving.Update(FollowedRigTransmits(), ElementsMoving) ==
        follow::TxWarning::Change::None)
        return false;
    const bool warn = TxWhileMoving.Warning();
    lTxWarning->setVisible(warn);
    SetStatusNotice(kTxNoticeKey, warn ? tr(kTxWarningText) : QString(),
                    /*alarm=*/true);
    return true;
}
