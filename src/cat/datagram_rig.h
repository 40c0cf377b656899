// A rig followed from station datagrams instead of Hamlib: the RadioInfo
// datagrams of a logger (one of its radios, or the one with transmit focus)
// or the Status messages of WSJT-X (one instance, or any). It runs on the
// owner's thread, fed by a DatagramPort, and records what it hears in the
// rig's channel like a Hamlib worker, so IRigX and the notifications are the
// same whatever the source:
//   - a datagram for the rig puts it on line (status 4) with the frequency
//     (none for 0: WSJT-X reports 0 until its rig answers) and the PTT
//     (IsTransmitting, Transmitting); a change raises the parameter-change
//     notification at once;
//   - nothing heard for the rig for NotHeardS seconds: not responding, with
//     "not heard for N s" (N counting up while it lasts); WSJT-X closing
//     says so at once;
//   - a malformed datagram is counted and dropped; nothing of it is used.
#pragma once

#include "cat/omnirig_ini.h"
#include "cat/rig_state.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace datagram {
struct RadioInfo;
struct WsjtxMessage;
} // namespace datagram

namespace cat {

class RigChannel;

class DatagramRig : public QObject {
public:
    DatagramRig(std::shared_ptr<RigChannel> channel, RigSettings settings, QObject* parent);

    void OnDatagram(std::string_view data, bool truncated);
    void OnReceiveError(const std::string& error);
    // The port could not be opened: the rig cannot be heard at all.
    void PortFailed(const std::string& error);

    // What was heard, for the settings dialog: the counts.
    DatagramCounts Counts() const;
    // WSJT-X instance ids heard on the port, in the order first heard.
    QStringList HeardInstances() const { return instances_; }
    std::uint64_t Malformed() const { return malformed_; }
    // While the rig is not responding for want of datagrams (not for a
    // reason such as WSJT-X closing): how long, and where it listens.
    std::optional<DatagramSilence> Silence() const;

private:
    void OnRadioInfo(const datagram::RadioInfo& info);
    void OnWsjtx(const datagram::WsjtxMessage& message);
    // The rig was heard: on line with values, and the silence clock restarts.
    void Heard(const RigValues& values);
    void GoQuiet(const std::string& reason);
    void TellQuiet();

    std::shared_ptr<RigChannel> channel_;
    RigSettings settings_;
    QTimer deadline_;  // fires after NotHeardS seconds of silence
    QTimer quietTick_; // updates "not heard for N s" once a second
    QElapsedTimer sinceHeard_;
    bool everHeard_ = false;
    RigValues values_;
    // RadioInfo: the last values of each radio, and the one with transmit focus.
    std::map<int, RigValues> radios_;
    int activeRadio_ = 0;
    QStringList instances_;
    std::uint64_t datagrams_ = 0;
    std::uint64_t malformed_ = 0;
    std::string lastMalformed_;
    std::string receiveError_;
};

} // namespace cat
