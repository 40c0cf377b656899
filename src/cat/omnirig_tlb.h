// The CAT client of the main window: TOmniRigX, with rig 1 and rig 2 as
// IRigX, standing in for the OmniRig automation server over Hamlib and the
// station's datagrams.
//
// Each rig configured in omnirig.ini (see omnirig_ini.h) has its source: a
// Hamlib rig is polled by a worker thread of its own; a rig followed from
// datagrams (RadioInfo, WSJT-X) listens on its UDP port on the owner's
// thread (cat/datagram_rig.h). IRigX and the notifications are the same
// whatever the source. Every notification reaches the owner's thread
// through the Qt event loop (queued), and only while this object exists:
// the handlers always run on the thread the object lives on.
//
// Destroying the object never waits for a worker: workers still inside a
// Hamlib call finish that call (at most about one time-out) and end alone.
//
// The back end makes no widgets (it needs QtCore only): its settings dialog
// is given by the owner that has a window, through ShowDialog.
#pragma once

#include "cat/omnirig_ini.h"
#include "cat/rig_state.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cat {
class DatagramPort;
class DatagramRig;
class RigChannel;
} // namespace cat

// One rig of the server.
class IRigX {
public:
    int RigNumber() const { return rigNumber_; }
    // OmniRig status value (cat::RigStatus): 4 means on line.
    int Status() const;
    // Status as text, with Hamlib's reason when the rig is not on line.
    QString StatusStr() const;
    // Why the rig is not on line, as its source says it (Hamlib's words,
    // "not heard for 5 s"); empty while it is on line.
    std::string Reason() const;
    // Frequency of the current VFO in hertz. Empty (a failed read) when the
    // rig is not on line, does not report a frequency, or reports one that
    // does not fit 32 bits.
    std::optional<std::int32_t> Freq() const;
    // The same in whole hertz, 64 bits: a frequency beyond 32 bits is read
    // too (the follow rule takes it and finds it out of range).
    std::optional<std::int64_t> FreqHz() const;
    // True while the rig is on line and reports its PTT on. A rig whose PTT
    // cannot be read counts as not transmitting. A change raises the
    // parameter-change notification with cat::kParamTx.
    bool Tx() const;

private:
    friend class TOmniRigX;
    explicit IRigX(int rigNumber) : rigNumber_(rigNumber) {}

    int rigNumber_;
    std::shared_ptr<cat::RigChannel> channel_;
};

class TOmniRigX : public QObject {
    Q_OBJECT

public:
    // owner: the object whose thread runs the handlers (the main window); it
    // also owns this object. configDir: the folder of omnirig.ini.
    TOmniRigX(QObject* owner, QString configDir);
    ~TOmniRigX() override;
    TOmniRigX(const TOmniRigX&) = delete;
    TOmniRigX& operator=(const TOmniRigX&) = delete;

    // Reads omnirig.ini and starts polling the configured rigs. False, with
    // the reason in LastError(), when omnirig.ini cannot be read or is not
    // valid, or names a model Hamlib does not know. True at once when already
    // connected.
    bool Connect();
    // The settings of one rig for this run instead of omnirig.ini's (a
    // command line's choice of source): used by the next Connect, never
    // stored.
    void OverrideRig(int rigNumber, const cat::RigSettings& rig);
    bool Connected() const { return connected_; }
    QString LastError() const { return lastError_; }
    QString ConfigDir() const { return configDir_; }

    // Rig 1 and rig 2; null while not connected.
    IRigX* Rig1();
    IRigX* Rig2();

    // Shows (true) or hides (false) the back end's settings dialog, not
    // modal, through ShowDialog. Connects first when not connected; false,
    // with the reason in LastError(), when that fails or when no window was
    // given to show the dialog in (ShowDialog empty).
    bool SetDialogVisible(bool visible);
    bool DialogVisible() const { return dialogVisible_; }

    // What shows (true) and hides (false) the settings dialog, set by the
    // owner that has a window (ui/rig_settings_dialog.h). The dialog starts
    // from Settings(), applies through ApplySettings, and reports each time
    // it appears or goes through DialogVisibilityChanged.
    std::function<void(bool visible)> ShowDialog;
    // The dialog appeared (true) or went (false); raises OnVisibleChange
    // when that changes what DialogVisible() says.
    void DialogVisibilityChanged(bool visible);

    // The settings the rigs run with: omnirig.ini as the last Connect read
    // it or the last ApplySettings stored it.
    const cat::OmniRigSettings& Settings() const { return settings_; }

    // Stores new settings in omnirig.ini and restarts the rigs with them
    // (what the dialog's OK does). False, with the reason in error, when a
    // model is unknown or the file cannot be written; nothing changes then.
    bool ApplySettings(const cat::OmniRigSettings& settings, QString* error);

    // A datagram rig's counts and what it heard (WSJT-X instances), for the
    // settings dialog; none for a Hamlib rig or while not connected.
    std::optional<cat::DatagramCounts> SourceCounts(int rigNumber) const;
    // The WSJT-X instance ids a rig heard so far.
    QStringList HeardInstances(int rigNumber) const;
    // A datagram rig's silence (DatagramRig::Silence); none for a Hamlib rig.
    std::optional<cat::DatagramSilence> SourceSilence(int rigNumber) const;

    // Notifications, in OmniRig's order. Empty ones are ignored.
    std::function<void(TOmniRigX* Sender)> OnVisibleChange;
    std::function<void(TOmniRigX* Sender, int RigNumber)> OnRigTypeChange;
    std::function<void(TOmniRigX* Sender, int RigNumber)> OnStatusChange;
    std::function<void(TOmniRigX* Sender, int RigNumber, int Params)> OnParamsChange;
    // Never raised: this back end sends no custom commands.
    std::function<void(TOmniRigX* Sender, int RigNumber, const QVariant& Command,
                       const QVariant& Reply)>
        OnCustomReply;

    // Waits up to timeoutMs for the worker threads of every client, stopped
    // or not, to end; true when none is left. For the end of the program,
    // after the window is gone, and for tests.
    static bool WaitForWorkers(int timeoutMs);

private:
    enum class Event { VisibleChange, RigTypeChange, StatusChange, ParamsChange };

    bool Validate(const cat::OmniRigSettings& settings, QString* error) const;
    void StartRigs(const cat::OmniRigSettings& settings);
    void StartDatagramRig(int rigNumber, const cat::RigSettings& rig,
                          std::shared_ptr<cat::RigChannel> channel);
    void StopRigs();
    // Queues an event for the owner's thread.
    void Post(Event event, int rigNumber, int params);
    void Raise(Event event, int rigNumber, int params);

    QString configDir_;
    QString lastError_;
    bool connected_ = false;
    cat::OmniRigSettings settings_;
    IRigX rigs_[cat::kRigCount];
    std::optional<cat::RigSettings> overrides_[cat::kRigCount];
    // The datagram rigs and the ports they listen on, live between
    // StartRigs and StopRigs.
    std::unique_ptr<cat::DatagramRig> datagramRigs_[cat::kRigCount];
    std::vector<std::unique_ptr<cat::DatagramPort>> datagramPorts_;
    bool dialogVisible_ = false;
};
