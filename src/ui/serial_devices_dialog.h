// "Serial devices...": the serial devices present and the COM numbers that
// stand for them. The operator gives the selected device a number (the link
// ports/com<n> in the config folder, to its by-id name when it has one),
// makes a number stand for a network port ("Network port...": a serial
// server's host and TCP port), or takes a number back (removes the link).
// The list follows devices as they are plugged in and out, and links
// changed by other programs.
#pragma once

#include <QDialog>
#include <QString>

#include <string>

class QFileSystemWatcher;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace koravel {

class NetworkPortDialog;

class SerialDevicesDialog : public QDialog {
    Q_OBJECT
public:
    // configDir: where ports/ lives; root: the tree that holds /dev and /sys.
    SerialDevicesDialog(const QString& configDir, const QString& root, QWidget* parent = nullptr);

    // Columns of the list.
    enum Column { ColNumbers, ColDevice, ColDescription, ColById, ColCount };

    // Reads the devices and links again, keeping the selection.
    void Refresh();
    // Gives the selected device the number in edNumber.
    void btAssignClick();
    // Takes the number in edNumber back.
    void btReleaseClick();
    // "Network port...": asks for the host and TCP port that the number in
    // edNumber is to stand for (dlgNetwork); OK makes the link.
    void btNetworkClick();

    QLabel* lFolder = nullptr;
    QTreeWidget* lvDevices = nullptr;
    QSpinBox* edNumber = nullptr;
    QPushButton* btAssign = nullptr;
    QPushButton* btRelease = nullptr;
    QPushButton* btNetwork = nullptr;
    QPushButton* btClose = nullptr;
    NetworkPortDialog* dlgNetwork = nullptr; // made on first use
    QLabel* lMessage = nullptr;              // what the last change did, or why it did not

private:
    void SelectionChanged();
    void UpdateButtons();
    void ShowMessage(const QString& text, bool error);
    // Links number to target and says what came of it.
    void Assign(int number, const QString& target);
    void AssignNetworkPort();
    void Watch();
    QString SelectedDevice() const;
    int FreeNumber() const;

    std::string configDir_;
    std::string root_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* settle_ = nullptr; // a plug-in changes several names at once
};

} // namespace koravel
