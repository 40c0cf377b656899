#include "ui/network_port_dialog.h"

#include "transport/network_address.h"
#include "ui/colors.h"
#include "ui/looks.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace koravel {

namespace {

// The default TCP port of a ser2net raw accepter in its examples.
constexpr int kFirstSer2netPort = 3001;

std::string Local(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

} // namespace

NetworkPortDialog::NetworkPortDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgNetworkPort"));
    setWindowTitle(tr("Network port"));

    lTitle = new QLabel(this);
    lTitle->setObjectName(QStringLiteral("lTitle"));
    lTitle->setWordWrap(true);
    edHost = new QLineEdit(this);
    edHost->setObjectName(QStringLiteral("edHost"));
    edHost->setPlaceholderText(tr("shack-pi, 192.168.1.20 or [fe80::1]"));
    edPort = new QSpinBox(this);
    edPort->setObjectName(QStringLiteral("edPort"));
    edPort->setRange(1, 65535);
    edPort->setValue(kFirstSer2netPort);
    lProblem = new QLabel(this);
    lProblem->setObjectName(QStringLiteral("lProblem"));
    lProblem->setWordWrap(true);
    lProblem->setTextFormat(Qt::PlainText);
    SetTextColor(lProblem, colors::clRed);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* fields = new QFormLayout;
    fields->addRow(tr("Host:"), edHost);
    fields->addRow(tr("TCP port:"), edPort);
    auto* column = new QVBoxLayout(this);
    column->addWidget(lTitle);
    column->addLayout(fields);
    column->addWidget(lProblem);
    column->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &NetworkPortDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void NetworkPortDialog::Prepare(int number, const QString& url) {
    lTitle->setText(tr("COM%1 is a port of a serial server (ser2net) on the network, "
                       "reached by raw TCP; the server sets the line.")
                        .arg(number));
    lProblem->clear();
    if (const auto address = ParseNetworkAddress(Local(url))) {
        edHost->setText(QString::fromLocal8Bit(address->host));
        edPort->setValue(address->port);
    } else {
        edHost->clear();
        edPort->setValue(kFirstSer2netPort);
    }
    edHost->setFocus();
}

QString NetworkPortDialog::Typed() const {
    QString host = edHost->text().trimmed();
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
        host = QLatin1Char('[') + host + QLatin1Char(']'); // an IPv6 address
    return QString::fromLatin1(kNetworkScheme) + host + QLatin1Char(':') +
           QString::number(edPort->value());
}

QString NetworkPortDialog::Url() const {
    const QString url = Typed();
    return ParseNetworkAddress(Local(url)) ? url : QString();
}

void NetworkPortDialog::accept() {
    std::string error;
    if (!ParseNetworkAddress(Local(Typed()), error)) {
        lProblem->setText(QString::fromLocal8Bit(error));
        return;
    }
    lProblem->clear();
    QDialog::accept();
}

} // namespace koravel
