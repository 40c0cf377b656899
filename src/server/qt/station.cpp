#include "server/qt/station.h"

#include "protocol/commands.h"
#include "protocol/status_reply.h"
#include "setup/block_write.h"
#include "setup/layouts.h"
#include "station/com_port.h"
#include "station/config_dir.h"
#include "station/open_failure.h"
#include "unit/link_state.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace server {

namespace {

const char* OutcomeName(setup::TransferResult::Outcome outcome) {
    using Outcome = setup::TransferResult::Outcome;
    switch (outcome) {
    case Outcome::Done:
        return "done";
    case Outcome::BlockFailed:
        return "failed";
    case Outcome::ConversionError:
        return "conversion-error";
    case Outcome::Unreadable:
        return "unreadable";
    case Outcome::NoSetupData:
        return "no-setup-data";
    case Outcome::Busy:
        return "busy";
    case Outcome::FirmwareUnknown:
        return "firmware-unknown";
    case Outcome::Declined:
        return "declined";
    }
    return "failed";
}

} // namespace

const char* LinkName(StationState::Link link) {
    switch (link) {
    case StationState::Link::Online:
        return "online";
    case StationState::Link::Connecting:
        return "connecting";
    case StationState::Link::Offline:
        break;
    }
    return "offline";
}

Station::Station(int portNumber, std::function<void(const std::string&)> log)
    : log_(std::move(log)), portNumber_(portNumber) {
    state_.portNumber = portNumber;
    // Every frame of the unit's line, as the window traces it.
    if (const char* path = std::getenv("KORAVEL_TRACE"); path != nullptr && *path != '\0') {
        if (trace_.Open(path))
            unit_.trace = &trace_;
        else
            log_(std::string("cannot write the frame trace ") + path + ": " + std::strerror(errno));
    }
    state_.port = koravel::ResolvePortTarget("bio" + std::to_string(portNumber));
    unit_.hooks.FrameHeard = [this] { silentTicks_ = 0; };
    unit_.hooks.PollAnswered = [this](const unit::SentRequest& request,
                                      const koravel::Bytes& content) {
        if (request.command == koravel::kCommandStatus)
            Answered(content);
    };
    driver_ = std::make_unique<unit::QtDriver>(unit_);
    transfer_ = std::make_unique<setup::Transfer>(unit_);
    pollTimer_.setInterval(kPollMs);
    pollTimer_.setTimerType(Qt::PreciseTimer);
    connect(&pollTimer_, &QTimer::timeout, this, &Station::PollTick);
    reopenTimer_.setInterval(kReopenMs);
    connect(&reopenTimer_, &QTimer::timeout, this, &Station::KeepPortOpen);
}

Station::~Station() {
    // The transfer goes before the unit it works on.
    transfer_.reset();
    driver_.reset();
}

void Station::Start() {
    KeepPortOpen();
    reopenTimer_.start();
    pollTimer_.start();
}

bool Station::PortUp() const {
    const transport::Port& port = unit_.Port();
    if (!port.IsOpen())
        return false;
    if (const auto network = port.Network())
        return network->connected;
    return port.InputFd() != transport::kNoHandle;
}

void Station::KeepPortOpen() {
    transport::Port& port = unit_.Port();
    // A device that hung up is noticed by its queue count.
    (void)port.InputCount();
    if (port.IsOpen() && (port.Network() || port.InputFd() != transport::kNoHandle)) {
        if (!PortUp())
            PortDown(); // a network port reconnects by itself
        return;
    }
    if (port.IsOpen()) {
        // The device hung up (unplugged, or its server program gone).
        log_(state_.port.empty() ? "the port hung up" : state_.port + " hung up");
        port.Close();
        PortDown();
    }
    const std::int32_t error = koravel::OpenComPort(port, portNumber_);
    state_.port = koravel::ResolvePortTarget("bio" + std::to_string(portNumber_));
    if (error != 0) {
        const std::string text = koravel::OpenFailureText(koravel::ExamineOpenFailure(
            koravel::ConfigDir(), portNumber_, error, port.ServerText()));
        if (text != lastOpenError_)
            log_(text + " Trying again every 2 s.");
        lastOpenError_ = text;
        SetNotice("port", text);
        PortDown();
        return;
    }
    lastOpenError_.clear();
    log_("COM" + std::to_string(portNumber_) + " (" + state_.port + ") open");
    SetNotice("port", {});
    // Until the unit answers on this port, nothing it said before counts.
    connected_ = false;
    silentTicks_ = 0;
    state_.known = false;
    driver_->Rearm();
    Publish();
}

void Station::PortDown() {
    connected_ = false;
    silentTicks_ = 0;
    clients_.ClearLatestStatus();
    state_.moving = false;
    Publish();
}

bool Station::UnitHeld() const {
    return transfer_->Running() || clients_.BlockWritesUnderWay() > 0;
}

void Station::PollTick() {
    // A set-up transfer holds the unit: the poll stands, as in the window.
    if (UnitHeld())
        return;
    (void)unit_.Port().InputCount(); // notices a device that hung up
    const unit::PollAnswers answers = unit_.CollectPollAnswers();
    switch (unit::WeighPollTick(answers, connected_, silentTicks_)) {
    case unit::PollVerdict::Answered:
        if (answers.command == koravel::kCommandStatus)
            Answered(answers.newest);
        break;
    case unit::PollVerdict::LinkLost:
        log_("the unit does not answer");
        state_.moving = false;
        break;
    case unit::PollVerdict::Silent:
        break;
    }
    if (!answers.answered && ++unansweredPolls_ > unit::kRecentRequests)
        clients_.ClearLatestStatus();
    if (!PortUp()) {
        connected_ = false;
        clients_.ClearLatestStatus();
    }
    unit_.SendRequest(koravel::kCommandStatus, {});
    Publish();
}

void Station::Answered(const koravel::Bytes& content) {
    // As soon as it is read (the hook) and again when the tick collects it.
    unansweredPolls_ = 0;
    silentTicks_ = 0;
    const bool wasConnected = connected_;
    connected_ = true;
    if (const auto status = koravel::DecodeStatusReply(content)) {
        clients_.SetLatestStatus(content);
        state_.known = true;
        state_.firmware = status->FirmwareVersion();
        state_.khz = status->freqKhz;
        state_.direction = status->direction;
        state_.flags = status->flags;
        state_.moving = status->moving != 0;
    }
    Publish();
    if (!wasConnected && !everConnected_) {
        everConnected_ = true;
        if (LinkUp)
            LinkUp();
    }
}

void Station::Publish() {
    state_.link = !PortUp()    ? StationState::Link::Offline
                  : connected_ ? StationState::Link::Online
                               : StationState::Link::Connecting;
    state_.notices.clear();
    for (const auto& [key, text] : notices_)
        state_.notices.push_back(text);
    if (state_ == published_)
        return;
    published_ = state_;
    for (const auto& listener : listeners_)
        listener();
}

void Station::Submit(const UnitRequest& request, unit::ReplyHandler done) {
    if (!PortUp()) {
        // A silent unit: nothing goes anywhere.
        done(unit::Reply{});
        return;
    }
    unit_.SetExchangeEnabled(true);
    switch (request.kind) {
    case UnitRequest::Kind::Command:
        unit_.SendCommand(request.command, request.argument, std::move(done));
        break;
    case UnitRequest::Kind::BlockWrite:
        unit_.Transact(request.command, request.argument, true, setup::kWriteBlockAttempts,
                       setup::kWriteBlockTimeoutMs, std::move(done));
        break;
    case UnitRequest::Kind::Exchange:
        unit_.Transact(request.command, request.argument, request.replyFlag, 1,
                       unit::kCommandTimeoutMs, std::move(done));
        break;
    }
}

void Station::Command(std::uint8_t command, koravel::Bytes argument, unit::ReplyHandler done) {
    unit_.SendCommand(command, argument, std::move(done));
}

Station::UploadRefusal
Station::StartUpload(const ini::Profile& file, bool force,
                     std::function<void(const setup::TransferResult&)> done) {
    UploadRefusal refusal;
    if (!PortUp()) {
        refusal = {503, "offline", "the unit's port is not open", {}};
        return refusal;
    }
    if (transfer_->Running() || !clients_.TakeWriter(kUploadWriter, Now())) {
        refusal = {409, "busy", "another client is writing set-up blocks", {}};
        return refusal;
    }
    if (!setup::HoldsSetupData(file)) {
        clients_.ReleaseWriter(kUploadWriter);
        refusal = {422, "no set-up data", "none of the set-up sections holds a key", {}};
        return refusal;
    }
    // The check, with the firmware the poll knows; the transfer itself asks
    // the unit again and follows the same rule as koravelctl send.
    if (state_.known) {
        const setup::CheckReport report = setup::CheckSetupFile(file, state_.firmware);
        const setup::FamilyMismatch mismatch = setup::FindOtherFamilyKeys(file, state_.firmware);
        if (!force && mismatch.found()) {
            clients_.ReleaseWriter(kUploadWriter);
            refusal = {409, "other firmware family", setup::DescribeMismatch(mismatch), {}};
            for (const setup::Diagnostic& d : mismatch.ignoredKeys)
                refusal.findings.push_back(setup::Describe(d));
            return refusal;
        }
        if (!force && !report.Clean()) {
            clients_.ReleaseWriter(kUploadWriter);
            refusal = {422,
                       "check failed",
                       "the check of the file found something; ?force=1 sends it all the same",
                       {}};
            for (const setup::Diagnostic& d : report.Diagnostics())
                refusal.findings.push_back(setup::Describe(d));
            return refusal;
        }
    }

    state_.transfer = TransferView{};
    state_.transfer.running = true;
    state_.transfer.total = setup::kBlockCount;
    Publish();

    setup::TransferHooks hooks;
    // The layouts follow the preparing reply, else what the poll decoded
    // since the port was opened, as in the window.
    hooks.PolledFirmware = [this] { return state_.known ? state_.firmware : 0; };
    hooks.AskSendAnyway = [force](const setup::SendConcerns&,
                                  const std::function<void(bool)>& answer) { answer(force); };
    hooks.BlockDone = [this](const setup::BlockSpec& spec, const setup::BlockResult&, int doneCount,
                             int total) {
        state_.transfer.done = doneCount;
        state_.transfer.total = total;
        state_.transfer.block = spec.section;
        Publish();
    };
    hooks.AppendLog = [this](const std::string& line) {
        if (!line.empty())
            log_("set-up: " + line);
    };
    log_("set-up upload started");
    transfer_->Send(file, std::move(hooks),
                    [this, done = std::move(done)](const setup::TransferResult& result) {
                        clients_.ReleaseWriter(kUploadWriter);
                        state_.transfer.running = false;
                        state_.transfer.outcome = OutcomeName(result.outcome);
                        state_.transfer.message = result.message;
                        log_(std::string("set-up upload ended: ") + OutcomeName(result.outcome) +
                             (result.message.empty() ? "" : ": " + result.message));
                        Publish();
                        if (done)
                            done(result);
                    });
    return refusal;
}

void Station::SetRigs(std::vector<RigView> rigs) {
    state_.rigs = std::move(rigs);
    Publish();
}

void Station::SetTxWarning(bool warning) {
    state_.txWarning = warning;
    Publish();
}

void Station::SetNotice(const std::string& key, const std::string& text) {
    const auto found = std::find_if(notices_.begin(), notices_.end(),
                                    [&key](const auto& notice) { return notice.first == key; });
    if (text.empty()) {
        if (found != notices_.end())
            notices_.erase(found);
    } else if (found != notices_.end()) {
        found->second = text;
    } else {
        notices_.emplace_back(key, text);
    }
    Publish();
}

} // namespace server
