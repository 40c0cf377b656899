#include "ui/rig_settings_dialog.h"

#include "cat/hamlib_access.h"
#include "cat/omnirig_tlb.h"
#include "datagram/udp_listener.h"
#include "ui/rig_words.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace koravel {

namespace {

const int kSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
const char* const kDefaultSpeed = "Default";
constexpr int kUsesPortRole = Qt::UserRole + 1;

QString Named(const char* name, int rigNumber) {
    return QString::fromLatin1(name) + QString::number(rigNumber);
}

} // namespace

QString ModelEntryText(const QString& maker, const QString& name, int model) {
    return QStringLiteral("%1 %2 (%3)").arg(maker, name).arg(model);
}

RigSettingsDialog::RigSettingsDialog(const cat::OmniRigSettings& settings, ApplyFunction apply,
                                     QWidget* parent)
    : QDialog(parent), apply_(std::move(apply)) {
    setObjectName(QStringLiteral("dlgOmniRig"));
    setWindowTitle(tr("Rig settings"));
    setModal(false);

    auto* tabs = new QTabWidget(this);
    for (int n = 1; n <= cat::kRigCount; ++n) {
        pages_[n - 1].rigNumber = n;
        tabs->addTab(BuildPage(pages_[n - 1]), tr("Rig %1").arg(n));
    }
    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("lError"));
    error_->setWordWrap(true);
    error_->setStyleSheet(QStringLiteral("color: red"));
    error_->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &RigSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &RigSettingsDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(error_);
    layout->addWidget(buttons);

    refresh_ = new QTimer(this);
    refresh_->setInterval(500);
    connect(refresh_, &QTimer::timeout, this, &RigSettingsDialog::RefreshStatus);
    refresh_->start();

    Load(settings);
}

QWidget* RigSettingsDialog::BuildPage(RigPage& page) {
    const int n = page.rigNumber;
    auto* widget = new QWidget(this);
    auto* form = new QFormLayout(widget);

    page.status = new QLabel(widget);
    page.status->setObjectName(Named("lStatus", n));
    page.status->setWordWrap(true);
    // Three lines for the status (a Hamlib error, a port to listen on),
    // whatever it holds: a label that grew with its wrapped lines would lie
    // over the rows below it. The whole text is its tool tip.
    page.status->setFixedHeight(3 * page.status->fontMetrics().lineSpacing() + 2);
    page.status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    form->addRow(tr("Status:"), page.status);

    page.notes = new QLabel(widget);
    page.notes->setObjectName(Named("lNotes", n));
    page.notes->setWordWrap(true);
    form->addRow(QString(), page.notes);

    page.enabled = new QCheckBox(tr("Enabled"), widget);
    page.enabled->setObjectName(Named("ckEnabled", n));
    form->addRow(QString(), page.enabled);

    page.source = new QComboBox(widget);
    page.source->setObjectName(Named("cbSource", n));
    page.source->addItem(tr("Hamlib (the rig's CAT port)"),
                         static_cast<int>(cat::RigSource::Hamlib));
    page.source->addItem(tr("Logger radio broadcasts (RadioInfo)"),
                         static_cast<int>(cat::RigSource::RadioInfo));
    page.source->addItem(tr("WSJT-X status"), static_cast<int>(cat::RigSource::Wsjtx));
    form->addRow(tr("Source:"), page.source);

    page.datagrams = BuildDatagramBox(page, widget);
    form->addRow(page.datagrams);

    page.hamlib = new QWidget(widget);
    auto* outer = form;
    form = new QFormLayout(page.hamlib);
    form->setContentsMargins(0, 0, 0, 0);
    outer->addRow(page.hamlib);

    page.filter = new QLineEdit(widget);
    page.filter->setObjectName(Named("edFilter", n));
    page.filter->setPlaceholderText(tr("maker or model"));
    page.filter->setClearButtonEnabled(true);
    form->addRow(tr("Find:"), page.filter);

    page.models = new QListWidget(widget);
    page.models->setObjectName(Named("lbModels", n));
    page.models->setMinimumSize(360, 220);
    form->addRow(tr("Model:"), page.models);

    page.chosen = new QLabel(widget);
    page.chosen->setObjectName(Named("lModel", n));
    form->addRow(tr("Selected:"), page.chosen);

    page.port = new QLineEdit(widget);
    page.port->setObjectName(Named("edPort", n));
    page.port->setPlaceholderText(tr("/dev/ttyUSB0 or host:port"));
    form->addRow(tr("Port:"), page.port);

    page.speed = new QComboBox(widget);
    page.speed->setObjectName(Named("cbSpeed", n));
    page.speed->setEditable(true);
    page.speed->addItem(QString::fromLatin1(kDefaultSpeed));
    for (int speed : kSpeeds) {
        page.speed->addItem(QString::number(speed));
    }
    form->addRow(tr("Speed:"), page.speed);

    page.pollMs = new QSpinBox(widget);
    page.pollMs->setObjectName(Named("sePollMs", n));
    page.pollMs->setRange(cat::kMinPollMs, cat::kMaxPollMs);
    page.pollMs->setSuffix(QStringLiteral(" ms"));
    form->addRow(tr("Poll every:"), page.pollMs);

    FillModels(page);
    connect(page.source, &QComboBox::currentIndexChanged, this, [this, &page] {
        ChooseSource(page, static_cast<cat::RigSource>(page.source->currentData().toInt()));
    });
    connect(page.filter, &QLineEdit::textChanged, this, [this, &page] { ApplyFilter(page); });
    connect(page.models, &QListWidget::currentItemChanged, this,
            [this, &page](QListWidgetItem* item) {
                if (item != nullptr) {
                    ChooseModel(page, item->data(Qt::UserRole).toInt());
                }
            });
    return widget;
}

QWidget* RigSettingsDialog::BuildDatagramBox(RigPage& page, QWidget* parent) {
    const int n = page.rigNumber;
    auto* box = new QWidget(parent);
    auto* form = new QFormLayout(box);
    form->setContentsMargins(0, 0, 0, 0);

    page.udpPort = new QSpinBox(box);
    page.udpPort->setObjectName(Named("seUdpPort", n));
    page.udpPort->setRange(1, 65535);
    form->addRow(tr("UDP port:"), page.udpPort);

    page.radio = new QComboBox(box);
    page.radio->setObjectName(Named("cbRadio", n));
    page.radio->addItem(tr("Radio 1"), 1);
    page.radio->addItem(tr("Radio 2"), 2);
    page.radio->addItem(tr("The radio with transmit focus"), cat::kFocusRadio);
    form->addRow(tr("Logger radio:"), page.radio);

    page.multicast = new QLineEdit(box);
    page.multicast->setObjectName(Named("edMulticast", n));
    page.multicast->setPlaceholderText(tr("none, or a group such as 239.255.0.1"));
    form->addRow(tr("Multicast group:"), page.multicast);

    page.instance = new QComboBox(box);
    page.instance->setObjectName(Named("cbInstance", n));
    page.instance->setEditable(true);
    page.instance->lineEdit()->setPlaceholderText(tr("any instance"));
    form->addRow(tr("WSJT-X instance:"), page.instance);

    page.notHeardS = new QSpinBox(box);
    page.notHeardS->setObjectName(Named("seNotHeardS", n));
    page.notHeardS->setRange(cat::kMinNotHeardS, cat::kMaxNotHeardS);
    page.notHeardS->setSuffix(QStringLiteral(" s"));
    form->addRow(tr("Not heard after:"), page.notHeardS);
    return box;
}

void RigSettingsDialog::ChooseSource(RigPage& page, cat::RigSource source) {
    const auto previous = static_cast<cat::RigSource>(page.source->property("shown").toInt());
    // A port left at the old source's default follows the new source's.
    if (page.udpPort->value() == cat::DefaultUdpPort(previous) ||
        cat::DefaultUdpPort(previous) == 0) {
        const int port = cat::DefaultUdpPort(source);
        if (port != 0)
            page.udpPort->setValue(port);
    }
    page.source->setProperty("shown", static_cast<int>(source));
    page.source->setCurrentIndex(page.source->findData(static_cast<int>(source)));
    page.hamlib->setVisible(source == cat::RigSource::Hamlib);
    page.datagrams->setVisible(source != cat::RigSource::Hamlib);
    page.radio->setEnabled(source == cat::RigSource::RadioInfo);
    page.multicast->setEnabled(source == cat::RigSource::Wsjtx);
    page.instance->setEnabled(source == cat::RigSource::Wsjtx);
}

void RigSettingsDialog::FillModels(RigPage& page) {
    auto* none = new QListWidgetItem(tr("Not configured (0)"), page.models);
    none->setData(Qt::UserRole, 0);
    none->setData(kUsesPortRole, false);
    for (const cat::ModelInfo& info : cat::ListModels()) {
        auto* item =
            new QListWidgetItem(ModelEntryText(QString::fromStdString(info.maker),
                                               QString::fromStdString(info.name), info.model),
                                page.models);
        item->setData(Qt::UserRole, info.model);
        item->setData(kUsesPortRole, info.usesPort);
    }
}

void RigSettingsDialog::ApplyFilter(RigPage& page) {
    const QStringList words = page.filter->text().split(' ', Qt::SkipEmptyParts);
    for (int row = 0; row < page.models->count(); ++row) {
        QListWidgetItem* item = page.models->item(row);
        bool match = true;
        for (const QString& word : words) {
            if (!item->text().contains(word, Qt::CaseInsensitive)) {
                match = false;
                break;
            }
        }
        item->setHidden(!match);
    }
    if (page.models->currentItem() != nullptr && !page.models->currentItem()->isHidden()) {
        page.models->scrollToItem(page.models->currentItem());
    }
}

void RigSettingsDialog::ChooseModel(RigPage& page, int model) {
    // A port left at the old model's default follows the new model's.
    if (page.port->text() == cat::DefaultPort(page.rigNumber, page.model)) {
        page.port->setText(cat::DefaultPort(page.rigNumber, model));
    }
    page.model = model;
    QString text = tr("Unknown model (%1)").arg(model);
    bool usesPort = true;
    for (int row = 0; row < page.models->count(); ++row) {
        const QListWidgetItem* item = page.models->item(row);
        if (item->data(Qt::UserRole).toInt() == model) {
            text = item->text();
            usesPort = item->data(kUsesPortRole).toBool();
            break;
        }
    }
    page.chosen->setText(text);
    // A rig without a port (Hamlib's dummy) would take an address as one.
    if (!usesPort) {
        page.port->clear();
    }
    page.port->setEnabled(usesPort);
}

void RigSettingsDialog::Load(const cat::OmniRigSettings& settings) {
    for (RigPage& page : pages_) {
        const cat::RigSettings& rig = settings[page.rigNumber - 1];
        page.model = rig.model;
        page.enabled->setChecked(rig.enabled);
        page.port->setText(rig.port);
        page.speed->setCurrentText(rig.speed > 0 ? QString::number(rig.speed)
                                                 : QString::fromLatin1(kDefaultSpeed));
        page.pollMs->setValue(rig.pollMs);
        page.source->setProperty("shown", static_cast<int>(rig.source));
        page.udpPort->setValue(cat::UdpPortOf(rig) != 0
                                   ? cat::UdpPortOf(rig)
                                   : cat::DefaultUdpPort(cat::RigSource::RadioInfo));
        page.radio->setCurrentIndex(page.radio->findData(cat::RadioOf(rig, page.rigNumber)));
        page.multicast->setText(rig.multicast);
        page.instance->setCurrentText(rig.instance);
        page.notHeardS->setValue(rig.notHeardS);
        ChooseSource(page, rig.source);
        page.filter->clear();
        ChooseModel(page, rig.model);
        for (int row = 0; row < page.models->count(); ++row) {
            if (page.models->item(row)->data(Qt::UserRole).toInt() == rig.model) {
                page.models->setCurrentRow(row);
                page.models->scrollToItem(page.models->item(row));
                break;
            }
        }
    }
    error_->hide();
    RefreshStatus();
}

void RigSettingsDialog::SetStatusSource(StatusFunction status) {
    status_ = std::move(status);
    RefreshStatus();
}

void RigSettingsDialog::SetNotesSource(StatusFunction notes, InstancesFunction instances) {
    notes_ = std::move(notes);
    instances_ = std::move(instances);
    RefreshStatus();
}

void RigSettingsDialog::RefreshStatus() {
    for (RigPage& page : pages_) {
        const QString text = status_ ? status_(page.rigNumber) : QString();
        page.status->setText(text);
        page.status->setToolTip(text);
        const QString notes = notes_ ? notes_(page.rigNumber) : QString();
        page.notes->setText(notes);
        page.notes->setVisible(!notes.isEmpty());
        // The ids heard so far, offered beside what is typed.
        if (!instances_)
            continue;
        for (const QString& id : instances_(page.rigNumber)) {
            if (page.instance->findText(id) < 0)
                page.instance->addItem(id);
        }
    }
}

bool RigSettingsDialog::Collect(cat::OmniRigSettings& settings, QString* error) const {
    for (const RigPage& page : pages_) {
        cat::RigSettings& rig = settings[page.rigNumber - 1];
        rig.model = page.model;
        rig.enabled = page.enabled->isChecked();
        rig.port = page.port->text().trimmed();
        rig.pollMs = page.pollMs->value();
        rig.source = static_cast<cat::RigSource>(page.source->currentData().toInt());
        rig.udpPort = rig.source == cat::RigSource::Hamlib ? 0 : page.udpPort->value();
        rig.radio = page.radio->currentData().toInt();
        rig.multicast = page.multicast->text().trimmed();
        rig.instance = page.instance->currentText().trimmed();
        rig.notHeardS = page.notHeardS->value();
        if (rig.source == cat::RigSource::Wsjtx && !rig.multicast.isEmpty() &&
            !datagram::IsMulticastGroup(rig.multicast.toStdString())) {
            if (error != nullptr) {
                *error = tr("Rig %1: \"%2\" is not a multicast group (224.0.0.0 to "
                            "239.255.255.255)")
                             .arg(page.rigNumber)
                             .arg(rig.multicast);
            }
            return false;
        }
        const QString speed = page.speed->currentText().trimmed();
        if (speed.isEmpty() || speed == QLatin1String(kDefaultSpeed)) {
            rig.speed = 0;
        } else {
            bool ok = false;
            rig.speed = speed.toInt(&ok);
            if (!ok || rig.speed <= 0) {
                if (error != nullptr) {
                    *error = tr("Rig %1: speed \"%2\" is not a number of baud")
                                 .arg(page.rigNumber)
                                 .arg(speed);
                }
                return false;
            }
        }
    }
    return true;
}

void RigSettingsDialog::accept() {
    cat::OmniRigSettings settings;
    QString error;
    if (!Collect(settings, &error) || (apply_ && !apply_(settings, &error))) {
        error_->setText(error);
        error_->show();
        return;
    }
    error_->hide();
    QDialog::accept();
}

void AttachRigSettingsDialog(TOmniRigX& client, QWidget* parent) {
    // Made on first need; the function the client keeps holds it.
    auto dialog = std::make_shared<QPointer<RigSettingsDialog>>();
    QPointer<QWidget> window(parent != nullptr ? parent->window() : nullptr);
    // The client keeps this function: it never runs without the client.
    client.ShowDialog = [dialog, window, client = &client](bool visible) {
        RigSettingsDialog* shown = dialog->data();
        if (!visible) {
            if (shown != nullptr) {
                shown->hide();
            }
            client->DialogVisibilityChanged(false);
            return;
        }
        if (shown == nullptr) {
            // The dialog is deleted with the client (below); its callbacks
            // hold the client weakly all the same.
            QPointer<TOmniRigX> owner(client);
            shown = new RigSettingsDialog(
                client->Settings(),
                [owner](const cat::OmniRigSettings& settings, QString* error) {
                    if (owner) {
                        return owner->ApplySettings(settings, error);
                    }
                    if (error != nullptr) {
                        *error = RigSettingsDialog::tr("The CAT back end is gone");
                    }
                    return false;
                },
                window.data());
            shown->SetStatusSource([owner](int rigNumber) {
                return owner ? RigStatusWithReason(*owner, rigNumber) : QString();
            });
            shown->SetNotesSource(
                [owner](int rigNumber) {
                    return owner ? RigSourceNotes(*owner, rigNumber) : QString();
                },
                [owner](int rigNumber) {
                    return owner ? owner->HeardInstances(rigNumber) : QStringList();
                });
            QObject::connect(shown, &QDialog::finished, client, [owner] {
                if (owner) {
                    owner->DialogVisibilityChanged(false);
                }
            });
            // The dialog goes with the client, as a server's dialog goes with
            // the server.
            QObject::connect(client, &QObject::destroyed, shown, [shown] { delete shown; });
            *dialog = shown;
        } else if (!shown->isVisible()) {
            shown->Load(client->Settings());
        }
        shown->show();
        shown->raise();
        shown->activateWindow();
        client->DialogVisibilityChanged(true);
    };
}

} // namespace koravel
