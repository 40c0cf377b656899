#include "setup/transfer.h"

#include "protocol/commands.h"
#include "protocol/status_reply.h"

#include <algorithm>
#include <utility>

namespace setup {

namespace {

// Payload bytes of a status reply (fw_minor ... moving) and its checksum.
constexpr std::size_t kStatusPayloadWithChecksum = 11;

// Why a block that went out is not known to be in the unit: a reply that
// never came leaves it open (the unit may have stored the block and lost
// its answer); a status other than 0 is the unit's refusal.
std::string BlockFailure(std::uint8_t status) {
    if (status == unit::kNoReply)
        return "may not have been written: no reply from the unit";
    return "was not written: the unit answered status " + std::to_string(status);
}

TransferResult Ended(TransferResult::Outcome outcome, std::string message) {
    TransferResult result;
    result.outcome = outcome;
    result.message = std::move(message);
    return result;
}

} // namespace

std::optional<int> FirmwareFromPreparingReply(const unit::Reply& reply) {
    if (reply.status == unit::kNoReply || reply.payload.size() < kStatusPayloadWithChecksum)
        return std::nullopt;
    return reply.payload[1] * 256 + reply.payload[0];
}

std::optional<int> ChooseFirmware(std::optional<int> preparingReply, int polled) {
    if (preparingReply)
        return preparingReply;
    if (polled != 0)
        return polled;
    return std::nullopt;
}

// ---- Transfer -----------------------------------------------------------------

Transfer::Transfer(unit::Unit& unit)
    : unit_(unit), generation_(std::make_shared<std::uint64_t>(0)) {}

Transfer::~Transfer() {
    ++*generation_;
    if (timer_ != 0)
        unit_.CancelTimer(timer_);
}

template <typename F> auto Transfer::Guarded(F f) {
    return [weak = std::weak_ptr<std::uint64_t>(generation_), mine = *generation_,
            f = std::move(f)](auto&&... args) {
        const auto generation = weak.lock();
        if (generation && *generation == mine)
            f(std::forward<decltype(args)>(args)...);
    };
}

bool Transfer::Begin(ini::Profile file, TransferHooks hooks, TransferFinished finished) {
    if (running_) {
        finished(Ended(TransferResult::Outcome::Busy, "a set-up transfer is already running"));
        return false;
    }
    running_ = true;
    ++*generation_;
    file_ = std::move(file);
    hooks_ = std::move(hooks);
    finished_ = std::move(finished);
    result_ = TransferResult{};
    built_.clear();
    return true;
}

void Transfer::SendFile(const std::string& path, TransferHooks hooks, TransferFinished finished) {
    if (running_) {
        finished(Ended(TransferResult::Outcome::Busy, "a set-up transfer is already running"));
        return;
    }
    OpenedFile opened = OpenSetupFile(path);
    if (!opened.ok()) {
        TransferResult result = Ended(opened.problem == OpenedFile::Problem::NoSetupData
                                          ? TransferResult::Outcome::NoSetupData
                                          : TransferResult::Outcome::Unreadable,
                                      opened.message);
        result.reason = opened.reason;
        finished(result);
        return;
    }
    if (hooks.Starting)
        hooks.Starting();
    Send(std::move(*opened.file), std::move(hooks), std::move(finished));
}

void Transfer::Send(ini::Profile file, TransferHooks hooks, TransferFinished finished) {
    if (!Begin(std::move(file), std::move(hooks), std::move(finished)))
        return;
    // The link settles, then what waits at the port is stale and goes.
    unit_.SetExchangeEnabled(true);
    readMark_ = unit_.BytesRead();
    timer_ = unit_.After(kSettleMs, Guarded([this] { Settled(); }));
}

void Transfer::Settled() {
    timer_ = 0;
    // Answers to the poll's requests that came before the transfer are as
    // stale as the bytes the drain drops: they are not shown after it.
    (void)unit_.CollectPollAnswers();
    Drain(0);
}

void Transfer::Drain(int drained) {
    // After stale bytes, a pause for more; quiet ends the drain. The event
    // loop goes on reading the port meanwhile: what it read since the last
    // look came as stale as what is dropped here, and counts alike.
    (void)unit_.DiscardInput(
        static_cast<std::size_t>(kMaxDrainBytes - std::min(drained, kMaxDrainBytes)));
    const int stale =
        static_cast<int>(std::min<std::uint64_t>(unit_.BytesRead() - readMark_, kMaxDrainBytes));
    readMark_ = unit_.BytesRead();
    if (stale > 0 && drained + stale < kMaxDrainBytes) {
        timer_ = unit_.After(kDrainPauseMs, Guarded([this, total = drained + stale] {
                                 timer_ = 0;
                                 Drain(total);
                             }));
        return;
    }
    unit_.Transact(koravel::kCommandStatus, {}, false, kPreparingAttempts, kPreparingTimeoutMs,
                   Guarded([this](const unit::Reply& reply) { Prepared(reply); }));
}

void Transfer::Prepared(const unit::Reply& reply) {
    const std::optional<int> firmware = ChooseFirmware(
        FirmwareFromPreparingReply(reply), hooks_.PolledFirmware ? hooks_.PolledFirmware() : 0);
    if (!firmware) {
        Finish(Ended(TransferResult::Outcome::FirmwareUnknown, kFirmwareUnknownMessage));
        return;
    }
    result_.firmwareVersion = *firmware;
    if (hooks_.FirmwareChosen)
        hooks_.FirmwareChosen(*firmware);
    if (!BuildAll())
        return;
    const SendConcerns concerns = FindSendConcerns(file_, result_.firmwareVersion, built_);
    ForgetFindings();
    if (!concerns.any()) {
        NextBlock(0);
        return;
    }
    auto answer = Guarded([this](bool send) {
        if (send) {
            NextBlock(0);
            return;
        }
        TransferResult declined = Ended(TransferResult::Outcome::Declined,
                                        "the file is not fit to be sent as it stands; nothing "
                                        "was written");
        declined.firmwareVersion = result_.firmwareVersion;
        Finish(std::move(declined));
    });
    // A copy: an answer given at once may end this transfer and start the
    // next, which brings hooks of its own.
    const auto ask = hooks_.AskSendAnyway;
    if (ask)
        ask(concerns, std::move(answer));
    else
        answer(false);
}

void Transfer::SendBlocks(ini::Profile file, int firmwareVersion, TransferHooks hooks,
                          TransferFinished finished) {
    if (!Begin(std::move(file), std::move(hooks), std::move(finished)))
        return;
    result_.firmwareVersion = firmwareVersion;
    if (!BuildAll())
        return;
    ForgetFindings();
    NextBlock(0);
}

void Transfer::ForgetFindings() {
    // Only the blocks' bytes are needed from here on; a file of many keys
    // that no field reads leaves as many findings.
    for (BuiltBlock& block : built_)
        std::vector<Diagnostic>().swap(block.diagnostics);
}

bool Transfer::BuildAll() {
    built_ = BuildBlocks(file_, result_.firmwareVersion);
    const BuiltBlock* bad = FirstConversionError(built_);
    if (bad == nullptr)
        return true;
    // Known before the first write: nothing goes out.
    result_.outcome = TransferResult::Outcome::ConversionError;
    result_.stoppedAt = bad->spec;
    result_.message = *bad->conversionError;
    Finish(std::move(result_));
    return false;
}

void Transfer::NextBlock(std::size_t index) {
    const std::vector<BuiltBlock>& blocks = built_;
    if (index >= blocks.size()) {
        Finish(std::move(result_));
        return;
    }
    const BlockSpec& spec = blocks[index].spec;
    if (hooks_.BlockStarting)
        hooks_.BlockStarting(spec, static_cast<int>(index), static_cast<int>(blocks.size()));
    WriteBuiltBlock(unit_, blocks[index],
                    Guarded([this, index](const BlockResult& block) { BlockEnded(index, block); }));
}

void Transfer::BlockEnded(std::size_t index, const BlockResult& block) {
    const BlockSpec spec = built_[index].spec;
    const int total = static_cast<int>(built_.size());
    if (!block.failed()) {
        ++result_.blocksDone;
        if (!block.skipped) {
            ++result_.blocksWritten;
            if (hooks_.AppendLog)
                hooks_.AppendLog("");
        }
    }
    if (hooks_.BlockDone)
        hooks_.BlockDone(spec, block, result_.blocksDone, total);
    if (!block.failed()) {
        NextBlock(index + 1);
        return;
    }
    result_.stoppedAt = spec;
    result_.status = block.status;
    result_.outcome = TransferResult::Outcome::BlockFailed;
    result_.message = "block " + std::to_string(spec.block) + " [" + spec.section + "] " +
                      BlockFailure(block.status);
    Finish(std::move(result_));
}

void Transfer::Finish(TransferResult result) {
    running_ = false;
    ++*generation_;
    if (timer_ != 0) {
        unit_.CancelTimer(timer_);
        timer_ = 0;
    }
    // The handler may start the next transfer, or destroy this object.
    TransferFinished finished = std::move(finished_);
    finished_ = nullptr;
    finished(result);
}

} // namespace setup
