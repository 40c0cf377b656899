#include "ui/serial_devices_dialog.h"

#include "station/config_dir.h"
#include "station/port_links.h"
#include "station/serial_devices.h"
#include "ui/colors.h"
#include "ui/looks.h"
#include "ui/network_port_dialog.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>
#include <vector>

namespace koravel {

namespace {

constexpr int kDeviceRole = Qt::UserRole;     // the path a new link points at
constexpr int kNumberRole = Qt::UserRole + 1; // the row's first COM number, 0 when none

QString Text(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}

std::string Bytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

std::filesystem::path Canonical(const std::string& path) {
    std::error_code ec;
    auto result = std::filesystem::canonical(path, ec);
    return ec ? std::filesystem::path() : result;
}

QString Numbers(const std::vector<int>& numbers) {
    QStringList words;
    for (const int n : numbers)
        words << QStringLiteral("COM%1").arg(n);
    return words.join(QStringLiteral(", "));
}

} // namespace

SerialDevicesDialog::SerialDevicesDialog(const QString& configDir, const QString& root,
                                         QWidget* parent)
    : QDialog(parent), configDir_(Bytes(configDir)), root_(Bytes(root)) {
    setObjectName(QStringLiteral("dlgSerialDevices"));
    setWindowTitle(tr("Serial devices"));

    lFolder = new QLabel(this);
    lFolder->setObjectName(QStringLiteral("lFolder"));
    lFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);

    lvDevices = new QTreeWidget(this);
    lvDevices->setObjectName(QStringLiteral("lvDevices"));
    lvDevices->setColumnCount(ColCount);
    lvDevices->setHeaderLabels({tr("COM"), tr("Device"), tr("What it is"), tr("Stable name")});
    lvDevices->setRootIsDecorated(false);
    lvDevices->setSelectionMode(QAbstractItemView::SingleSelection);
    lvDevices->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lvDevices->setMinimumSize(600, 180);

    edNumber = new QSpinBox(this);
    edNumber->setObjectName(QStringLiteral("edNumber"));
    edNumber->setRange(kFirstPortNumber, kLastPortNumber);
    edNumber->setPrefix(QStringLiteral("COM"));
    btAssign = new QPushButton(this);
    btAssign->setObjectName(QStringLiteral("btAssign"));
    btRelease = new QPushButton(this);
    btRelease->setObjectName(QStringLiteral("btRelease"));
    btNetwork = new QPushButton(tr("Network port..."), this);
    btNetwork->setObjectName(QStringLiteral("btNetwork"));
    btClose = new QPushButton(tr("Close"), this);
    btClose->setObjectName(QStringLiteral("btClose"));

    lMessage = new QLabel(this);
    lMessage->setObjectName(QStringLiteral("lMessage"));
    lMessage->setWordWrap(true);
    lMessage->setTextFormat(Qt::PlainText);

    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(new QLabel(tr("Number:"), this));
    numberRow->addWidget(edNumber);
    numberRow->addWidget(btAssign);
    numberRow->addWidget(btRelease);
    numberRow->addWidget(btNetwork);
    numberRow->addStretch(1);
    numberRow->addWidget(btClose);
    auto* column = new QVBoxLayout(this);
    column->addWidget(lFolder);
    column->addWidget(lvDevices, 1);
    column->addLayout(numberRow);
    column->addWidget(lMessage);

    watcher_ = new QFileSystemWatcher(this);
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(200);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, settle_,
            static_cast<void (QTimer::*)()>(&QTimer::start));
    connect(settle_, &QTimer::timeout, this, &SerialDevicesDialog::Refresh);
    connect(lvDevices, &QTreeWidget::itemSelectionChanged, this,
            &SerialDevicesDialog::SelectionChanged);
    connect(edNumber, &QSpinBox::valueChanged, this, &SerialDevicesDialog::UpdateButtons);
    connect(btAssign, &QPushButton::clicked, this, &SerialDevicesDialog::btAssignClick);
    connect(btRelease, &QPushButton::clicked, this, &SerialDevicesDialog::btReleaseClick);
    connect(btNetwork, &QPushButton::clicked, this, &SerialDevicesDialog::btNetworkClick);
    connect(btClose, &QPushButton::clicked, this, &QDialog::hide);

    Refresh();
}

void SerialDevicesDialog::Refresh() {
    const QString selected = SelectedDevice();
    const QString selectedText =
        lvDevices->currentItem() != nullptr ? lvDevices->currentItem()->text(ColDevice) : QString();
    const std::vector<SerialDevice> devices = ListSerialDevices(root_);
    const std::vector<PortLink> links = ReadPortLinks(configDir_);
    std::vector<bool> linkShown(links.size(), false);

    const QSignalBlocker blocker(lvDevices);
    lvDevices->clear();
    for (const SerialDevice& device : devices) {
        const auto node = Canonical(device.node);
        std::vector<int> numbers;
        for (std::size_t i = 0; i < links.size(); ++i) {
            if (!node.empty() && Canonical(links[i].path) == node) {
                numbers.push_back(links[i].number);
                linkShown[i] = true;
            }
        }
        auto* item = new QTreeWidgetItem(lvDevices);
        item->setText(ColNumbers, Numbers(numbers));
        item->setText(ColDevice, Text(device.node));
        item->setText(ColDescription, Text(device.description));
        item->setText(ColById, Text(std::filesystem::path(device.byId).filename().string()));
        item->setToolTip(ColById, Text(device.byId));
        item->setData(ColDevice, kDeviceRole, Text(device.Path()));
        item->setData(ColDevice, kNumberRole, numbers.empty() ? 0 : numbers.front());
    }
    // Numbers whose device is not in the list: unplugged, or not a serial
    // adapter (a pseudo-terminal), or something that is not a link.
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (linkShown[i])
            continue;
        const PortLink& link = links[i];
        const PortView view = ViewPort(configDir_, link.number, devices, root_);
        auto* item = new QTreeWidgetItem(lvDevices);
        item->setText(ColNumbers, QStringLiteral("COM%1").arg(link.number));
        item->setText(ColDevice, Text(link.isLink ? view.device : link.path));
        const bool network = link.isLink && KindOfTarget(link.target) == PortTargetKind::Network;
        item->setText(ColDescription, !link.isLink ? tr("not a symbolic link")
                                      : network
                                          ? (view.network ? tr("network port (ser2net, raw TCP)")
                                                          : tr("not a network address "
                                                               "(tcp://HOST:PORT)"))
                                      : !view.present ? tr("not plugged in")
                                                      : Text(view.description));
        item->setData(ColDevice, kDeviceRole,
                      link.isLink && view.present ? Text(view.device) : QString());
        item->setData(ColDevice, kNumberRole, link.number);
    }

    lFolder->setText(tr("COM numbers are links in %1").arg(Text(PortsDir(configDir_))));
    for (int i = 0; i < lvDevices->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lvDevices->topLevelItem(i);
        const QString device = item->data(ColDevice, kDeviceRole).toString();
        if ((!selected.isEmpty() && device == selected) ||
            (selected.isEmpty() && !selectedText.isEmpty() &&
             item->text(ColDevice) == selectedText)) {
            lvDevices->setCurrentItem(item);
            break;
        }
    }
    UpdateButtons();
    Watch();
}

void SerialDevicesDialog::Watch() {
    const std::string dev = JoinPath(root_, "dev");
    QStringList wanted;
    for (const std::string& dir : {dev, JoinPath(dev, "serial"), JoinPath(dev, "serial/by-id"),
                                   configDir_, PortsDir(configDir_)}) {
        const QString path = Text(dir);
        if (QFileInfo(path).isDir() && !watcher_->directories().contains(path))
            wanted << path;
    }
    if (!wanted.isEmpty())
        watcher_->addPaths(wanted);
}

QString SerialDevicesDialog::SelectedDevice() const {
    const QTreeWidgetItem* item = lvDevices->currentItem();
    return item != nullptr ? item->data(ColDevice, kDeviceRole).toString() : QString();
}

int SerialDevicesDialog::FreeNumber() const {
    const std::vector<SerialDevice> devices = ListSerialDevices(root_);
    for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
        const PortView view = ViewPort(configDir_, n, devices, root_);
        if (!view.link && !view.present)
            return n;
    }
    return kFirstPortNumber;
}

void SerialDevicesDialog::SelectionChanged() {
    const QTreeWidgetItem* item = lvDevices->currentItem();
    const int number = item != nullptr ? item->data(ColDevice, kNumberRole).toInt() : 0;
    edNumber->setValue(number != 0 ? number : FreeNumber());
    UpdateButtons();
}

void SerialDevicesDialog::UpdateButtons() {
    const int n = edNumber->value();
    btAssign->setText(tr("Give it COM%1").arg(n));
    btAssign->setEnabled(!SelectedDevice().isEmpty());
    const auto link = ReadPortLink(configDir_, n);
    btRelease->setText(tr("Take COM%1 back").arg(n));
    btRelease->setEnabled(link.has_value());
}

void SerialDevicesDialog::ShowMessage(const QString& text, bool error) {
    lMessage->setText(text);
    SetTextColor(lMessage, error ? colors::clRed : colors::clBlack);
}

void SerialDevicesDialog::Assign(int n, const QString& target) {
    std::string error;
    if (!SetPortLink(configDir_, n, Bytes(target), error)) {
        ShowMessage(tr("COM%1 is not changed: %2").arg(n).arg(Text(error)), true);
    } else {
        ShowMessage(tr("COM%1 now stands for %2.").arg(n).arg(target), false);
    }
    Refresh();
}

void SerialDevicesDialog::btAssignClick() {
    const QString device = SelectedDevice();
    if (device.isEmpty()) {
        ShowMessage(tr("Choose a device in the list first."), true);
        return;
    }
    Assign(edNumber->value(), device);
}

void SerialDevicesDialog::btNetworkClick() {
    if (dlgNetwork == nullptr) {
        dlgNetwork = new NetworkPortDialog(this);
        connect(dlgNetwork, &QDialog::accepted, this, &SerialDevicesDialog::AssignNetworkPort);
    }
    const auto link = ReadPortLink(configDir_, edNumber->value());
    dlgNetwork->Prepare(edNumber->value(), link && link->isLink ? Text(link->target) : QString());
    dlgNetwork->open();
}

void SerialDevicesDialog::AssignNetworkPort() {
    Assign(edNumber->value(), dlgNetwork->Url());
}

void SerialDevicesDialog::btReleaseClick() {
    const int n = edNumber->value();
    std::string error;
    if (!ClearPortLink(configDir_, n, error)) {
        ShowMessage(tr("COM%1 is not changed: %2").arg(n).arg(Text(error)), true);
    } else {
        ShowMessage(tr("COM%1 has no link now.").arg(n), false);
    }
    Refresh();
}

} // namespace koravel
