// The CAT back end's own settings dialog, shown by "Config Radio": for rig 1
// and rig 2 the source (Hamlib, a logger's RadioInfo datagrams or WSJT-X),
// then for Hamlib the model (picked from Hamlib's list, filtered by words of
// maker and model), the port, the serial speed and the poll interval, and for
// the datagram sources the UDP port, the logger's radio (1, 2 or the one
// with transmit focus), the WSJT-X multicast group and instance (the ids
// heard so far offered), and the silence after which the rig is not heard.
// OK hands
// the settings to the apply function (which stores omnirig.ini and restarts
// the rigs) and closes only when that succeeds.
//
// The back end makes no widgets: the window gives its client this dialog
// (AttachRigSettingsDialog), and the client's SetDialogVisible shows it.
#pragma once

#include "cat/omnirig_ini.h"

#include <QDialog>

#include <QStringList>

#include <functional>

class TOmniRigX;

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QSpinBox;
class QTimer;

namespace koravel {

class RigSettingsDialog : public QDialog {
    Q_OBJECT

public:
    using ApplyFunction = std::function<bool(const cat::OmniRigSettings& settings, QString* error)>;
    using StatusFunction = std::function<QString(int rigNumber)>;
    using InstancesFunction = std::function<QStringList(int rigNumber)>;

    RigSettingsDialog(const cat::OmniRigSettings& settings, ApplyFunction apply,
                      QWidget* parent = nullptr);

    // Fills the fields from settings.
    void Load(const cat::OmniRigSettings& settings);
    // Where the status lines come from (refreshed while the dialog is shown).
    void SetStatusSource(StatusFunction status);
    // Where the notes under the status (what a datagram source heard) and
    // the WSJT-X instance ids heard come from.
    void SetNotesSource(StatusFunction notes, InstancesFunction instances);
    // The settings the fields give; false, with the reason, for a bad speed.
    bool Collect(cat::OmniRigSettings& settings, QString* error) const;

    void accept() override;

private:
    struct RigPage {
        int rigNumber = 1;
        int model = 0;
        QCheckBox* enabled = nullptr;
        QLineEdit* filter = nullptr;
        QListWidget* models = nullptr;
        QLabel* chosen = nullptr;
        QLineEdit* port = nullptr;
        QComboBox* speed = nullptr;
        QSpinBox* pollMs = nullptr;
        QLabel* status = nullptr;
        QComboBox* source = nullptr;
        QWidget* hamlib = nullptr;
        QWidget* datagrams = nullptr;
        QSpinBox* udpPort = nullptr;
        QComboBox* radio = nullptr;
        QLineEdit* multicast = nullptr;
        QComboBox* instance = nullptr;
        QSpinBox* notHeardS = nullptr;
        QLabel* notes = nullptr;
    };

    QWidget* BuildPage(RigPage& page);
    void FillModels(RigPage& page);
    void ApplyFilter(RigPage& page);
    void ChooseModel(RigPage& page, int model);
    QWidget* BuildDatagramBox(RigPage& page, QWidget* parent);
    void ChooseSource(RigPage& page, cat::RigSource source);
    void RefreshStatus();

    ApplyFunction apply_;
    StatusFunction status_;
    StatusFunction notes_;
    InstancesFunction instances_;
    RigPage pages_[cat::kRigCount];
    QLabel* error_ = nullptr;
    QTimer* refresh_ = nullptr;
};

// The text of a model entry in the list: "maker model (number)".
QString ModelEntryText(const QString& maker, const QString& name, int model);

// Gives client this dialog: from then on client.SetDialogVisible(true) shows
// it (made on first need as a child of parent's window, filled from the
// client's stored settings, or raised as it is when already shown) and
// SetDialogVisible(false) hides it. OK applies through the client
// (ApplySettings); every change of the dialog's visibility reaches the
// client's OnVisibleChange. The dialog goes when the client goes.
void AttachRigSettingsDialog(TOmniRigX& client, QWidget* parent);

} // namespace koravel
