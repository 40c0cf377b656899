#include "cat/omnirig_tlb.h"

#include "cat/datagram_port.h"
#include "cat/datagram_rig.h"
#include "cat/hamlib_access.h"
#include "cat/rig_worker.h"

#include <QMetaObject>

int IRigX::Status() const {
    return channel_ ? channel_->Status() : cat::kStatusNotConfigured;
}

QString IRigX::StatusStr() const {
    QString text = QString::fromLatin1(cat::StatusText(Status()));
    if (const std::string reason = Reason(); !reason.empty()) {
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(reason));
    }
    return text;
}

std::string IRigX::Reason() const {
    if (!channel_ || Status() == cat::kStatusOnLine) {
        return {};
    }
    return channel_->LastError();
}

namespace {

// What a rig last read, while it is on line.
std::optional<cat::RigValues> OnLineValues(const std::shared_ptr<cat::RigChannel>& channel) {
    if (!channel) {
        return std::nullopt;
    }
    auto [status, values] = channel->Snapshot();
    if (status != cat::kStatusOnLine) {
        return std::nullopt;
    }
    return values;
}

} // namespace

std::optional<std::int32_t> IRigX::Freq() const {
    const std::optional<cat::RigValues> values = OnLineValues(channel_);
    return values ? cat::FreqAsInt32(*values) : std::nullopt;
}

std::optional<std::int64_t> IRigX::FreqHz() const {
    const std::optional<cat::RigValues> values = OnLineValues(channel_);
    return values ? cat::FreqAsInt64(*values) : std::nullopt;
}

bool IRigX::Tx() const {
    if (!channel_) {
        return false;
    }
    const auto [status, values] = channel_->Snapshot();
    return status == cat::kStatusOnLine && cat::Transmitting(values);
}

TOmniRigX::TOmniRigX(QObject* owner, QString configDir)
    : QObject(owner), configDir_(std::move(configDir)), rigs_{IRigX(1), IRigX(2)} {}

TOmniRigX::~TOmniRigX() {
    StopRigs();
}

bool TOmniRigX::WaitForWorkers(int timeoutMs) {
    return cat::WaitForRigWorkers(timeoutMs);
}

bool TOmniRigX::Validate(const cat::OmniRigSettings& settings, QString* error) const {
    for (int n = 1; n <= cat::kRigCount; ++n) {
        const cat::RigSettings& rig = settings[n - 1];
        if (rig.source == cat::RigSource::Hamlib && rig.model != 0 && !cat::KnownModel(rig.model)) {
            if (error != nullptr) {
                *error = QStringLiteral("Hamlib does not know rig model %1 (rig %2 in %3)")
                             .arg(rig.model)
                             .arg(n)
                             .arg(cat::OmniRigIniPath(configDir_));
            }
            return false;
        }
    }
    return true;
}

bool TOmniRigX::Connect() {
    if (connected_) {
        return true;
    }
    cat::InitHamlib();
    cat::OmniRigSettings settings;
    QString error;
    const bool loaded = cat::LoadOmniRigIni(configDir_, settings, &error);
    for (int i = 0; loaded && i < cat::kRigCount; ++i) {
        if (overrides_[i])
            settings[i] = *overrides_[i];
    }
    if (!loaded || !Validate(settings, &error)) {
        lastError_ = error;
        return false;
    }
    lastError_.clear();
    StartRigs(settings);
    connected_ = true;
    return true;
}

void TOmniRigX::OverrideRig(int rigNumber, const cat::RigSettings& rig) {
    if (rigNumber >= 1 && rigNumber <= cat::kRigCount)
        overrides_[rigNumber - 1] = rig;
}

std::optional<cat::DatagramCounts> TOmniRigX::SourceCounts(int rigNumber) const {
    if (rigNumber < 1 || rigNumber > cat::kRigCount || !datagramRigs_[rigNumber - 1])
        return std::nullopt;
    return datagramRigs_[rigNumber - 1]->Counts();
}

QStringList TOmniRigX::HeardInstances(int rigNumber) const {
    if (rigNumber < 1 || rigNumber > cat::kRigCount || !datagramRigs_[rigNumber - 1])
        return {};
    return datagramRigs_[rigNumber - 1]->HeardInstances();
}

std::optional<cat::DatagramSilence> TOmniRigX::SourceSilence(int rigNumber) const {
    if (rigNumber < 1 || rigNumber > cat::kRigCount || !datagramRigs_[rigNumber - 1])
        return std::nullopt;
    return datagramRigs_[rigNumber - 1]->Silence();
}

IRigX* TOmniRigX::Rig1() {
    return connected_ ? &rigs_[0] : nullptr;
}

IRigX* TOmniRigX::Rig2() {
    return connected_ ? &rigs_[1] : nullptr;
}

void TOmniRigX::StartRigs(const cat::OmniRigSettings& settings) {
    settings_ = settings;
    for (int n = 1; n <= cat::kRigCount; ++n) {
        const cat::RigSettings& rig = settings[n - 1];
        const bool datagrams = rig.source != cat::RigSource::Hamlib;
        // A datagram source needs no model: Model=0 only unconfigures Hamlib.
        const int initial = !datagrams && rig.model == 0 ? cat::kStatusNotConfigured
                            : !rig.enabled               ? cat::kStatusDisabled
                                                         : cat::kStatusNotResponding;
        auto channel = std::make_shared<cat::RigChannel>(n, initial);
        // The channel calls this on the worker's thread, locked; Stop() in the
        // destructor clears it under the same lock before this object goes.
        channel->SetNotify([this](cat::RigEvent event, int rigNumber, int params) {
            Post(event == cat::RigEvent::StatusChange ? Event::StatusChange : Event::ParamsChange,
                 rigNumber, params);
        });
        rigs_[n - 1].channel_ = channel;
        if (initial != cat::kStatusNotResponding) {
            continue;
        }
        if (datagrams) {
            StartDatagramRig(n, rig, std::move(channel));
            continue;
        }
        cat::RigConfig config;
        config.rigNumber = n;
        config.model = rig.model;
        config.port = rig.port.toStdString();
        config.speed = rig.speed;
        config.pollMs = rig.pollMs;
        cat::StartRigWorker(std::move(channel), std::move(config));
    }
}

void TOmniRigX::StartDatagramRig(int rigNumber, const cat::RigSettings& rig,
                                 std::shared_ptr<cat::RigChannel> channel) {
    auto source = std::make_unique<cat::DatagramRig>(std::move(channel), rig, nullptr);
    const auto port = static_cast<std::uint16_t>(cat::UdpPortOf(rig));
    const std::string group = rig.multicast.toStdString();
    // Rigs on the same port and group share its socket: each sees every
    // datagram, however the sender addresses them.
    cat::DatagramPort* shared = nullptr;
    for (const auto& open : datagramPorts_) {
        if (open->Port() == port && open->Group() == group)
            shared = open.get();
    }
    if (shared == nullptr) {
        auto opened = std::make_unique<cat::DatagramPort>(port, group, nullptr);
        if (!opened->Open()) {
            source->PortFailed(opened->Error());
            datagramRigs_[rigNumber - 1] = std::move(source);
            return;
        }
        shared = opened.get();
        datagramPorts_.push_back(std::move(opened));
    }
    cat::DatagramRig* raw = source.get();
    shared->AddReceiver(
        {[raw](std::string_view data, bool truncated) { raw->OnDatagram(data, truncated); },
         [raw](const std::string& error) { raw->OnReceiveError(error); }});
    datagramRigs_[rigNumber - 1] = std::move(source);
}

void TOmniRigX::StopRigs() {
    for (IRigX& rig : rigs_) {
        if (rig.channel_) {
            rig.channel_->Stop();
        }
    }
    // The ports first: their receivers call the rigs.
    datagramPorts_.clear();
    for (auto& source : datagramRigs_) {
        source.reset();
    }
}

bool TOmniRigX::ApplySettings(const cat::OmniRigSettings& settings, QString* error) {
    if (!Validate(settings, error) || !cat::SaveOmniRigIni(configDir_, settings, error)) {
        return false;
    }
    if (!connected_) {
        // Connect() reads what was just written.
        if (!Connect()) {
            if (error != nullptr) {
                *error = lastError_;
            }
            return false;
        }
        return true;
    }
    // What the handlers saw before, to announce what the restart changes.
    struct Before {
        int model;
        int status;
        cat::RigValues values;
    } before[cat::kRigCount];
    for (int i = 0; i < cat::kRigCount; ++i) {
        auto [status, values] = rigs_[i].channel_->Snapshot();
        before[i] = {settings_[i].model, status, std::move(values)};
    }
    StopRigs();
    StartRigs(settings);
    for (int i = 0; i < cat::kRigCount; ++i) {
        const int n = i + 1;
        if (settings[i].model != before[i].model) {
            Post(Event::RigTypeChange, n, 0);
        }
        if (rigs_[i].channel_->Status() != before[i].status) {
            Post(Event::StatusChange, n, 0);
        }
        const int params = cat::ChangedParams(before[i].values, rigs_[i].channel_->Values());
        if (params != 0) {
            Post(Event::ParamsChange, n, params);
        }
    }
    return true;
}

bool TOmniRigX::SetDialogVisible(bool visible) {
    if (!Connect()) {
        return false;
    }
    if (!ShowDialog) {
        if (!visible) {
            return true; // nothing shown, nothing to hide
        }
        lastError_ = QStringLiteral("There is no window to show the rig settings in");
        return false;
    }
    ShowDialog(visible);
    return true;
}

void TOmniRigX::DialogVisibilityChanged(bool visible) {
    if (visible == dialogVisible_) {
        return;
    }
    dialogVisible_ = visible;
    Post(Event::VisibleChange, 0, 0);
}

void TOmniRigX::Post(Event event, int rigNumber, int params) {
    QMetaObject::invokeMethod(
        this, [this, event, rigNumber, params] { Raise(event, rigNumber, params); },
        Qt::QueuedConnection);
}

void TOmniRigX::Raise(Event event, int rigNumber, int params) {
    // A handler may rebind the events; call a copy.
    switch (event) {
    case Event::VisibleChange:
        if (auto handler = OnVisibleChange) {
            handler(this);
        }
        break;
    case Event::RigTypeChange:
        if (auto handler = OnRigTypeChange) {
            handler(this, rigNumber);
        }
        break;
    case Event::StatusChange:
        if (auto handler = OnStatusChange) {
            handler(this, rigNumber);
        }
        break;
    case Event::ParamsChange:
        if (auto handler = OnParamsChange) {
            handler(this, rigNumber, params);
        }
        break;
    }
}
