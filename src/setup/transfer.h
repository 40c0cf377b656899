// Sending a set-up file to a unit: opening the file, preparing the link and
// writing the 68 blocks in order. An object over the unit, driven by the
// unit's event loop: nothing here waits. The window's send handler and the
// command-line client share it; dialogs, the log memo, the poll timer and the
// outcome texts stay with them and are reached through hooks.
//
// While it runs, the transfer's exchanges go through the unit's queue one
// after the other; an operator command asked for meanwhile goes out between
// two blocks.
#pragma once

#include "ini/profile.h"
#include "setup/block_write.h"
#include "setup/check.h"
#include "setup/layouts.h"
#include "setup/setup_file.h"
#include "unit/unit.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace setup {

// ---- Preparing the link -----------------------------------------------------

constexpr int kSettleMs = 100;
constexpr int kDrainPauseMs = 10;
// Stale bytes are few; a line that never falls silent must not hold the
// transfer forever, so the drain gives up after this many bytes.
constexpr int kMaxDrainBytes = 256;

// The preparing status request: a lost request or reply is asked again, and
// a reply up to three time-outs late still counts.
constexpr int kPreparingAttempts = 3;
constexpr int kPreparingTimeoutMs = 200;

// The firmware version in the reply to the preparing status request, or
// nullopt when there is no complete status reply.
std::optional<int> FirmwareFromPreparingReply(const unit::Reply& reply);

// ---- The firmware version that picks the Factory and User layouts ----------

// The one rule for the layout pair: the version in the reply to the
// preparing request; failing that, the version the poll decoded since the
// port was last opened (polled; 0 when none was). Neither known: nullopt,
// and nothing may be written, for blocks 0 and 1 in the other family's
// layouts put the unit's motor limits and model text at the wrong offsets.
std::optional<int> ChooseFirmware(std::optional<int> preparingReply, int polled);

// What the user is told when the rule finds no version.
constexpr const char* kFirmwareUnknownMessage =
    "The unit did not report its firmware version; nothing was sent.";

// ---- Sending the blocks -----------------------------------------------------

struct TransferHooks {
    // The file is open and holds set-up data; the link is about to be
    // prepared (the window enters its transferring state here).
    std::function<void()> Starting;
    // The version the window's poll decoded since the port was last opened,
    // 0 when none; asked once, after the preparing exchange. Empty: there is
    // no poll (the command-line client), only the preparing reply counts.
    std::function<int()> PolledFirmware;
    // The version the layouts follow, once it is chosen.
    std::function<void(int firmwareVersion)> FirmwareChosen;
    // Every block converts, but the file is not fit to be sent as it stands
    // (SendConcerns: fields of blocks it writes that it does not give, a
    // block's section given twice, keys that only the other firmware
    // family's layouts read): answer(true) sends it all the same,
    // answer(false) ends the transfer with nothing written. answer may be
    // called later, from the event loop (a question to the operator).
    // Empty: such a file is not sent.
    std::function<void(const SendConcerns& concerns, std::function<void(bool)> answer)>
        AskSendAnyway;
    // Before a block is sent (or skipped); index counts from 0.
    std::function<void(const BlockSpec& spec, int index, int total)> BlockStarting;
    // After each block, failed ones included; done counts the blocks gone
    // through so far (written or skipped).
    std::function<void(const BlockSpec& spec, const BlockResult& result, int done, int total)>
        BlockDone;
    // A line for the transfer log.
    std::function<void(const std::string& line)> AppendLog;
};

struct TransferResult {
    enum class Outcome {
        Done,            // every block written or skipped
        BlockFailed,     // a block was not written; later ones were not sent
        ConversionError, // a value is not an integer; nothing was written
        Unreadable,      // the file cannot be read; nothing was sent
        NoSetupData,     // the file holds no set-up data; nothing was sent
        Busy,            // another transfer is running; nothing was done
        FirmwareUnknown, // the unit's firmware version is not known; nothing was sent
        Declined,        // the file is not fit as it stands (SendConcerns) and the
                         // question declined it; nothing was written
    };
    Outcome outcome = Outcome::Done;
    int firmwareVersion = 0; // the layouts' version; 0 when none was chosen
    int blocksDone = 0;      // written or skipped
    int blocksWritten = 0;   // actually sent and accepted
    std::optional<BlockSpec> stoppedAt;
    std::uint8_t status = 0; // exchange result of the failed block
    // The conversion error's text, or a sentence that says what went wrong.
    std::string message;
    // Unreadable: the system's or the reader's reason alone ("is a FIFO"),
    // for a program that words the sentence itself.
    std::string reason;

    bool ok() const { return outcome == Outcome::Done; }
};

using TransferFinished = std::function<void(const TransferResult& result)>;

// One transfer at a time over a unit. The object outlives what it starts:
// destroying it while a transfer runs ends that transfer quietly (finished is
// not called; the block waiting for its reply completes in the unit unheard).
class Transfer {
public:
    explicit Transfer(unit::Unit& unit);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // The whole send of a file by its path: OpenSetupFile, and when the
    // file is fit, hooks.Starting, the link prepared, the layouts chosen by
    // ChooseFirmware, every block built (a value that does not convert ends
    // the transfer with ConversionError before anything is written), the
    // question when the file has SendConcerns, then the blocks. A file that
    // is not fit ends with Unreadable or NoSetupData before anything
    // reaches the line. finished is called once, possibly before this
    // returns.
    void SendFile(const std::string& path, TransferHooks hooks, TransferFinished finished);
    // The same for a file already read.
    void Send(ini::Profile file, TransferHooks hooks, TransferFinished finished);
    // Only the 68 blocks, with the layouts of firmwareVersion, without the
    // question: every block built first (a value that does not convert
    // writes nothing), then written, stopping at the first that fails.
    void SendBlocks(ini::Profile file, int firmwareVersion, TransferHooks hooks,
                    TransferFinished finished);

    bool Running() const { return running_; }

private:
    bool Begin(ini::Profile file, TransferHooks hooks, TransferFinished finished);
    void Settled();
    void Drain(int drained);
    void Prepared(const unit::Reply& reply);
    // Builds every block for the chosen firmware; false (and the transfer
    // finished) when a value does not convert.
    bool BuildAll();
    // Drops the built blocks' findings, once the question has them.
    void ForgetFindings();
    void NextBlock(std::size_t index);
    void BlockEnded(std::size_t index, const BlockResult& block);
    void Finish(TransferResult result);
    // Wraps a continuation so that it does nothing once this object is gone
    // or the transfer it belongs to has ended.
    template <typename F> auto Guarded(F f);

    unit::Unit& unit_;
    bool running_ = false;
    ini::Profile file_;
    // Every block, built before the first is written.
    std::vector<BuiltBlock> built_;
    TransferHooks hooks_;
    TransferFinished finished_;
    TransferResult result_;
    unit::Unit::TimerId timer_ = 0;
    // The unit's count of bytes read when the drain last looked.
    std::uint64_t readMark_ = 0;
    // Changes with every transfer; continuations of an older one find it changed.
    std::shared_ptr<std::uint64_t> generation_;
};

} // namespace setup
