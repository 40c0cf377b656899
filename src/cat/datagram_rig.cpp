#include "cat/datagram_rig.h"

#include "cat/rig_worker.h"
#include "datagram/radio_info.h"
#include "datagram/udp_listener.h"
#include "datagram/wsjtx_message.h"

namespace cat {

namespace {

// Instance ids kept for the dialog; more are not listed.
constexpr int kMaxInstances = 16;
constexpr int kQuietTickMs = 1000;

std::optional<double> FrequencyOf(std::uint64_t hz) {
    if (hz == 0)
        return std::nullopt; // no frequency: nothing is followed
    return static_cast<double>(hz);
}

} // namespace

DatagramRig::DatagramRig(std::shared_ptr<RigChannel> channel, RigSettings settings, QObject* parent)
    : QObject(parent), channel_(std::move(channel)), settings_(std::move(settings)) {
    deadline_.setSingleShot(true);
    deadline_.setTimerType(Qt::PreciseTimer); // "not heard for N s" tells N whole
    deadline_.setInterval(settings_.notHeardS * 1000);
    connect(&deadline_, &QTimer::timeout, this, [this] { GoQuiet({}); });
    quietTick_.setInterval(kQuietTickMs);
    connect(&quietTick_, &QTimer::timeout, this, [this] { TellQuiet(); });
    sinceHeard_.start();
    // Until the first datagram: not responding, saying where it listens.
    quietTick_.start();
    TellQuiet();
}

void DatagramRig::OnDatagram(std::string_view data, bool truncated) {
    ++datagrams_;
    std::string error;
    if (truncated) {
        error = "longer than " + std::to_string(datagram::kMaxDatagramSize) + " bytes";
    } else if (settings_.source == RigSource::Wsjtx) {
        if (const auto message = datagram::ParseWsjtxMessage(data, &error)) {
            OnWsjtx(*message);
            return;
        }
    } else if (const auto info = datagram::ParseRadioInfo(data, &error)) {
        OnRadioInfo(*info);
        return;
    }
    ++malformed_;
    lastMalformed_ = error;
}

void DatagramRig::OnReceiveError(const std::string& error) {
    receiveError_ = error;
}

void DatagramRig::PortFailed(const std::string& error) {
    quietTick_.stop();
    deadline_.stop();
    channel_->Publish(kStatusPortBusy, {}, error);
}

void DatagramRig::OnRadioInfo(const datagram::RadioInfo& info) {
    RigValues values;
    values.freqHz = FrequencyOf(info.freqHz);
    values.ptt = info.transmitting;
    if (info.txFreqHz)
        values.split = *info.txFreqHz != 0 && *info.txFreqHz != info.freqHz ? 1 : 0;
    radios_[info.radioNr] = values;
    if (info.activeRadioNr)
        activeRadio_ = *info.activeRadioNr;
    const int radio = RadioOf(settings_, channel_->RigNumber());
    if (radio != kFocusRadio) {
        if (info.radioNr == radio)
            Heard(values);
        return;
    }
    // Transmit focus: the logger is heard; the focused radio's last values
    // are followed (none while that radio has not been heard yet).
    const int followed = activeRadio_ != 0 ? activeRadio_ : info.radioNr;
    const auto known = radios_.find(followed);
    Heard(known != radios_.end() ? known->second : RigValues{});
}

void DatagramRig::OnWsjtx(const datagram::WsjtxMessage& message) {
    const QString id =
        QString::fromUtf8(message.id.data(), static_cast<qsizetype>(message.id.size()));
    if (!instances_.contains(id) && instances_.size() < kMaxInstances)
        instances_.append(id);
    if (!settings_.instance.isEmpty() && id != settings_.instance)
        return;
    switch (message.type) {
    case datagram::WsjtxMessage::Type::Status: {
        RigValues values;
        values.freqHz = FrequencyOf(message.dialHz);
        values.ptt = message.transmitting;
        Heard(values);
        break;
    }
    case datagram::WsjtxMessage::Type::Heartbeat:
        Heard(values_);
        break;
    case datagram::WsjtxMessage::Type::Close:
        GoQuiet("WSJT-X instance \"" + message.id + "\" closed");
        break;
    case datagram::WsjtxMessage::Type::Other:
        break; // alive, but only its heartbeat and status count
    }
}

void DatagramRig::Heard(const RigValues& values) {
    everHeard_ = true;
    values_ = values;
    sinceHeard_.start();
    quietTick_.stop();
    deadline_.start();
    channel_->Publish(kStatusOnLine, values_, {});
}

void DatagramRig::GoQuiet(const std::string& reason) {
    deadline_.stop();
    values_ = {};
    if (!reason.empty()) {
        channel_->Publish(kStatusNotResponding, {}, reason);
        return; // told as it is; the next datagram brings the rig back
    }
    quietTick_.start();
    TellQuiet();
}

void DatagramRig::TellQuiet() {
    std::string text;
    if (everHeard_) {
        text = "not heard for " + std::to_string(Silence()->seconds) + " s";
    } else {
        text = "not heard yet on UDP port " + std::to_string(UdpPortOf(settings_));
        if (!settings_.multicast.isEmpty())
            text += " (group " + settings_.multicast.toStdString() + ")";
    }
    channel_->Publish(kStatusNotResponding, {}, text);
}

std::optional<DatagramSilence> DatagramRig::Silence() const {
    if (!quietTick_.isActive())
        return std::nullopt;
    return DatagramSilence{everHeard_, static_cast<int>((sinceHeard_.elapsed() + 500) / 1000),
                           UdpPortOf(settings_)};
}

DatagramCounts DatagramRig::Counts() const {
    return DatagramCounts{settings_.source == RigSource::Wsjtx,
                          UdpPortOf(settings_),
                          datagrams_,
                          malformed_,
                          lastMalformed_,
                          receiveError_};
}

} // namespace cat
