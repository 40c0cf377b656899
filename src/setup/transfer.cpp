#include "setup/transfer.h"

#include "transport/comm32.h"
#include "unit/exchange.h"

namespace setup {

namespace {

constexpr std::uint8_t kStatusCommand = 1;
// Payload bytes of a status reply (fw_minor ... moving) and its checksum.
constexpr std::size_t kStatusPayloadWithChecksum = 11;

bool Running = false;

void ProcessMessages() {
    if (exchange::ExchangeHooks.ProcessMessages)
        exchange::ExchangeHooks.ProcessMessages();
}

// Lets the line settle for ms milliseconds in 10 ms steps, serving the
// window's events; bytes that arrive meanwhile do not cut it short.
void Settle(int ms) {
    for (int waited = 0; waited < ms; waited += kDrainPauseMs) {
        ProcessMessages();
        exchange::Pause(kDrainPauseMs);
    }
}

OpenedFile Refuse(OpenedFile::Problem problem, const std::string& path, const std::string& reason) {
    OpenedFile opened;
    opened.problem = problem;
    opened.reason = reason;
    if (problem == OpenedFile::Problem::NoSetupData)
        opened.message = "The file \"" + path + "\" holds no set-up data.";
    else
        opened.message = "The file \"" + path + "\" cannot be read: " + reason + ".";
    return opened;
}

// Marks a transfer as running and names the file WriteBlockFromFile reads,
// until the scope ends.
class TransferScope {
public:
    explicit TransferScope(const ini::Profile& file) {
        Running = true;
        SetupFile = &file;
    }
    ~TransferScope() {
        SetupFile = nullptr;
        Running = false;
    }
    TransferScope(const TransferScope&) = delete;
    TransferScope& operator=(const TransferScope&) = delete;
};

TransferResult BusyResult() {
    TransferResult result;
    result.outcome = TransferResult::Outcome::Busy;
    result.message = "a set-up transfer is already running";
    return result;
}

} // namespace

bool HoldsSetupData(const ini::Profile& file) {
    for (const BlockSpec& spec : BlockMap(0)) {
        if (!file.Keys(spec.section).empty())
            return true;
    }
    return false;
}

OpenedFile OpenSetupFile(const std::string& path) {
    std::string error;
    std::optional<ini::Profile> file = ini::Profile::Load(path, error);
    if (!file)
        return Refuse(OpenedFile::Problem::Unreadable, path, error.empty() ? "read error" : error);
    if (!HoldsSetupData(*file))
        return Refuse(OpenedFile::Problem::NoSetupData, path, "");
    OpenedFile opened;
    opened.file = std::move(file);
    return opened;
}

std::uint8_t PrepareLink() {
    exchange::ExchangeEnabled = true;
    Settle(kSettleMs);
    // After each stale byte, up to 10 ms for the next: the pause ends as soon
    // as one is there.
    std::uint8_t stale = 0;
    for (int drained = 0; drained < kMaxDrainBytes && comm32::ReadByte(stale); ++drained) {
        ProcessMessages();
        exchange::WaitForPort(kDrainPauseMs);
    }
    return exchange::Transact(kStatusCommand, {}, false, kPreparingAttempts, kPreparingTimeoutMs);
}

std::optional<int> FirmwareFromPreparingReply(std::uint8_t status) {
    if (status == exchange::kNoReply || exchange::ReplyBuffer.size() < kStatusPayloadWithChecksum)
        return std::nullopt;
    return exchange::ReplyBuffer[1] * 256 + exchange::ReplyBuffer[0];
}

std::optional<int> ChooseFirmware(std::optional<int> preparingReply, int polled) {
    if (preparingReply)
        return preparingReply;
    if (polled != 0)
        return polled;
    return std::nullopt;
}

namespace {

// The blocks in order, with a TransferScope in force.
TransferResult RunBlocks(int firmwareVersion, const TransferHooks& hooks) {
    TransferResult result;
    result.firmwareVersion = firmwareVersion;
    const std::vector<BlockSpec>& blocks = BlockMap(firmwareVersion);
    const int total = static_cast<int>(blocks.size());
    for (int i = 0; i < total; ++i) {
        const BlockSpec& spec = blocks[static_cast<std::size_t>(i)];
        if (hooks.BlockStarting)
            hooks.BlockStarting(spec, i, total);
        const BlockResult block = WriteBlockFromFile(spec.block, spec.layout, spec.section);
        if (!block.failed()) {
            ++result.blocksDone;
            if (!block.skipped)
                ++result.blocksWritten;
        }
        if (hooks.BlockDone)
            hooks.BlockDone(spec, block, result.blocksDone, total);
        if (block.failed()) {
            result.stoppedAt = spec;
            result.status = block.status;
            if (block.outcome == BlockResult::Outcome::ConversionError) {
                result.outcome = TransferResult::Outcome::ConversionError;
                result.message = block.message;
            } else {
                result.outcome = TransferResult::Outcome::BlockFailed;
                result.message = "block " + std::to_string(spec.block) + " (" + spec.section +
                                 ") was not written";
                if (!block.message.empty())
                    result.message += ": " + block.message;
            }
            break;
        }
    }
    return result;
}

} // namespace

TransferResult SendBlocks(const ini::Profile& file, int firmwareVersion,
                          const TransferHooks& hooks) {
    if (Running)
        return BusyResult();
    TransferScope scope(file);
    return RunBlocks(firmwareVersion, hooks);
}

TransferResult SendSetupFile(const ini::Profile& file, const TransferHooks& hooks) {
    if (Running)
        return BusyResult();
    TransferScope scope(file);
    const std::uint8_t preparing = PrepareLink();
    const std::optional<int> firmware = ChooseFirmware(
        FirmwareFromPreparingReply(preparing), hooks.PolledFirmware ? hooks.PolledFirmware() : 0);
    if (!firmware) {
        TransferResult result;
        result.outcome = TransferResult::Outcome::FirmwareUnknown;
        result.message = kFirmwareUnknownMessage;
        return result;
    }
    if (hooks.FirmwareChosen)
        hooks.FirmwareChosen(*firmware);
    const FamilyMismatch mismatch = FindOtherFamilyKeys(file, *firmware);
    if (mismatch.found() && !(hooks.SendOtherFamily && hooks.SendOtherFamily(mismatch))) {
        TransferResult result;
        result.outcome = TransferResult::Outcome::OtherFamily;
        result.firmwareVersion = *firmware;
        result.message = "the file was made for the other firmware family; nothing was sent";
        return result;
    }
    return RunBlocks(*firmware, hooks);
}

TransferResult TransferSetupFile(const std::string& path, const TransferHooks& hooks) {
    if (Running)
        return BusyResult();
    const OpenedFile opened = OpenSetupFile(path);
    if (!opened.ok()) {
        TransferResult result;
        result.outcome = opened.problem == OpenedFile::Problem::NoSetupData
                             ? TransferResult::Outcome::NoSetupData
                             : TransferResult::Outcome::Unreadable;
        result.message = opened.message;
        return result;
    }
    if (hooks.Starting)
        hooks.Starting();
    return SendSetupFile(*opened.file, hooks);
}

bool TransferRunning() {
    return Running;
}

} // namespace setup
