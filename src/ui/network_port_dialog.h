// "Network port...": a COM number made to stand for a port of a serial server
// (ser2net) on the network, by its host and TCP port. The address is checked
// as it is written (no lookup); the dialog accepts only a well-formed one.
#pragma once

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace koravel {

class NetworkPortDialog : public QDialog {
    Q_OBJECT
public:
    explicit NetworkPortDialog(QWidget* parent = nullptr);

    // Shows the fields for COM number, filled from url when it is a network
    // address ("tcp://HOST:PORT"), else empty.
    void Prepare(int number, const QString& url);
    // "tcp://HOST:PORT" from the fields; empty while they are not well formed.
    QString Url() const;
    // OK: accepts when the fields make an address, else says why.
    void accept() override;

    QLabel* lTitle = nullptr;
    QLineEdit* edHost = nullptr;
    QSpinBox* edPort = nullptr;
    QLabel* lProblem = nullptr;
    QDialogButtonBox* buttons = nullptr;

private:
    QString Typed() const;
};

} // namespace koravel
