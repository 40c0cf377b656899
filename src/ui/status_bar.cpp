// The status bar below the front panel: what the operator needs to see at a
// glance and the 1-pixel strips hide. Two lines: the link state in lStatus's
// words and the port with its device; the followed rigs and the notices (the
// last open failure first, then a network port's lost connection). Rendered from the window's state
// on every poll tick and after a COM item's open, never written piecemeal by the handlers.
#include "ui/koravelu.h"

#include "cat/omnirig_tlb.h"
#include "cat/rig_state.h"
#include "station/config_dir.h"
#include "station/open_failure.h"
#include "station/port_links.h"
#include "ui/colors.h"
#include "ui/elided_label.h"
#include "ui/looks.h"
#include "ui/open_failure_words.h"
#include "ui/rig_words.h"
#include "unit/unit.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPalette>
#include <QStatusBar>
#include <QVBoxLayout>

using namespace koravel;
using namespace koravel::colors;

namespace {

// The rig's frequency as "14.195 MHz", from hertz (the kilohertz truncated,
// as the tracking step sends them).
QString RigFrequencyText(std::int32_t hz) {
    const std::int32_t khz = hz / 1000;
    return QStringLiteral("%1%2%3 MHz")
        .arg(khz / 1000)
        .arg(QLocale().decimalPoint())
        .arg(khz % 1000, 3, 10, QLatin1Char('0'));
}

void SetTextIfChanged(QLabel* label, const QString& text) {
    if (label->text() != text)
        label->setText(text);
}

QLabel* OneLineLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setMinimumHeight(label->fontMetrics().height());
    return label;
}

} // namespace

void TfmMain::BuildStatusBar() {
    sbStatus = statusBar();
    sbStatus->setObjectName(QStringLiteral("sbStatus"));
    sbStatus->setSizeGripEnabled(false); // the window has a fixed size

    // Permanent, so that a menu item's status tip never hides it.
    auto* lines = new QWidget(sbStatus);
    lines->setObjectName(QStringLiteral("StatusLines"));
    auto* column = new QVBoxLayout(lines);
    column->setContentsMargins(2, 1, 2, 1);
    column->setSpacing(1);
    auto* first = new QHBoxLayout;
    auto* second = new QHBoxLayout;
    first->setSpacing(12);
    second->setSpacing(12);
    column->addLayout(first);
    column->addLayout(second);

    lLinkState = OneLineLabel(lines, "lLinkState");
    SetTextColor(lLinkState, clNavy);
    lPortDevice = new ElidedLabel(lines);
    lPortDevice->setObjectName(QStringLiteral("lPortDevice"));
    first->addWidget(lLinkState);
    first->addWidget(lPortDevice, 1);

    lRigs = OneLineLabel(lines, "lRigs");
    lNotice = new ElidedLabel(lines);
    lNotice->setObjectName(QStringLiteral("lNotice"));
    second->addWidget(lRigs);
    second->addWidget(lNotice, 1);

    sbStatus->addPermanentWidget(lines, 1);
    // The bar's own colours, whatever the desktop's palette: its texts are
    // drawn in fixed colours (navy, black, red) on the window's white.
    QPalette bar = sbStatus->palette();
    bar.setColor(QPalette::Window, clBtnHighlight);
    bar.setColor(QPalette::WindowText, clBlack);
    sbStatus->setPalette(bar);
    sbStatus->setAutoFillBackground(true);
    for (QLabel* label : {static_cast<QLabel*>(lPortDevice), lRigs})
        SetTextColor(label, clBlack);
    RenderStatusBar();
}

void TfmMain::NoteOpenResult(std::int32_t n, std::int32_t error) {
    const std::string configDir = ConfigDir();
    portShown_ = n > 0 ? QString::fromLocal8Bit(PortSummary(ViewPort(configDir, n))) : QString();
    LastOpenFailure =
        error == 0
            ? QString()
            : OpenFailureWords(ExamineOpenFailure(configDir, n, error, unit_->Port().ServerText()));
}

void TfmMain::SetStatusNotice(const QString& key, const QString& text, bool alarm) {
    if (text.isEmpty())
        statusNotices_.erase(key);
    else
        statusNotices_[key] = StatusNotice{text, alarm};
}

QString TfmMain::RigStatusText(int rigNumber) const {
    const QCheckBox* box = rigNumber == 1 ? ckOmni1 : ckOmni2;
    if (!box->isChecked() || OmniRigClient == nullptr)
        return {};
    const QString name = tr("Rig %1: ").arg(rigNumber);
    IRigX* rig = rigNumber == 1 ? OmniRigClient->Rig1() : OmniRigClient->Rig2();
    if (rig != nullptr && rig->Status() == cat::kStatusOnLine) {
        if (const std::optional<std::int32_t> hz = rig->Freq())
            return name + RigFrequencyText(*hz);
    }
    return name + RigStatusWords(*OmniRigClient, rigNumber);
}

void TfmMain::RenderStatusBar() {
    SetTextIfChanged(lLinkState, lStatus->text());
    lPortDevice->setFullText(portShown_);

    QStringList rigs;
    for (int rig = 1; rig <= 2; ++rig) {
        if (QString text = RigStatusText(rig); !text.isEmpty())
            rigs << text;
    }
    SetTextIfChanged(lRigs, rigs.join(QStringLiteral("   ")));

    QStringList notices;
    bool alarm = !LastOpenFailure.isEmpty();
    if (!LastOpenFailure.isEmpty())
        notices << LastOpenFailure;
    if (const QString retry = RetryNotice(); !retry.isEmpty()) {
        notices << retry;
        alarm = true;
    }
    // A network port stays open through a lost connection, and is tried
    // again by itself: say so while it is down.
    if (const auto network = unit_->Port().Network(); network && !network->connected) {
        notices << ConnectionDownWords(PortNumber, QString::fromLocal8Bit(network->address),
                                       network->error, QString::fromLocal8Bit(network->serverText));
        alarm = true;
    }
    for (const auto& [key, notice] : statusNotices_) {
        notices << notice.text;
        alarm = alarm || notice.alarm;
    }
    const QString noticeText = notices.join(QStringLiteral("   "));
    lNotice->setFullText(noticeText);
    SetTextColor(lNotice, alarm ? clAlarmText : clBlack);
    AnnounceStatusBar(lLinkState->text(), noticeText, alarm);
}
