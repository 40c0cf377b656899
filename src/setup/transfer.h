// Sending a set-up file to the unit: opening the file, preparing the link and
// writing the 68 blocks in order. The window's send handler and the
// command-line client share it; dialogs, the log memo, the poll timer and the
// outcome texts stay with them and are reached through hooks.
//
// Every wait serves the window's events (exchange::ExchangeHooks'
// ProcessMessages) and goes through exchange::WaitForPort or exchange::Pause,
// so tests control time with the Sleep hook.
#pragma once

#include "setup/block_write.h"
#include "setup/check.h"
#include "ini/profile.h"
#include "setup/layouts.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace setup {

// ---- Opening the file -------------------------------------------------------

struct OpenedFile {
    enum class Problem {
        None,
        Unreadable,  // missing, unreadable, not a regular file, too large
        NoSetupData, // none of the 68 set-up sections holds a key
    };
    std::optional<ini::Profile> file; // set when problem is None
    Problem problem = Problem::None;
    std::string reason;  // the system's or the reader's reason, for Unreadable
    std::string message; // a full sentence for the user

    bool ok() const { return problem == Problem::None; }
};

// Reads a set-up file. A file that cannot be read, or that holds no set-up
// data, is refused with a reason: sending it would write nothing while
// reporting success.
OpenedFile OpenSetupFile(const std::string& path);

// True when at least one of the 68 set-up sections holds a key.
bool HoldsSetupData(const ini::Profile& file);

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

// Enables the exchange, waits 100 ms, discards the bytes waiting at the port
// (a pause of up to 10 ms after each, ended by the next byte), and asks for
// the unit's status (command 1, no reply flag, 3 attempts of 200 ms).
// Returns that exchange's result.
std::uint8_t PrepareLink();

// The firmware version in the status reply that the preparing exchange
// received (exchange::ReplyBuffer after a status other than kNoReply), or
// nullopt when there is no complete status reply.
std::optional<int> FirmwareFromPreparingReply(std::uint8_t status);

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
    // The file holds keys that only the other firmware family's layouts read
    // (a file made for another unit): true sends it all the same. Empty:
    // such a file is not sent.
    std::function<bool(const FamilyMismatch& mismatch)> SendOtherFamily;
    // Before a block is built and sent; index counts from 0.
    std::function<void(const BlockSpec& spec, int index, int total)> BlockStarting;
    // After each block, failed ones included; done counts the blocks gone
    // through so far (written or skipped).
    std::function<void(const BlockSpec& spec, const BlockResult& result, int done, int total)>
        BlockDone;
};

struct TransferResult {
    enum class Outcome {
        Done,            // every block written or skipped
        BlockFailed,     // a block was not written; later ones were not sent
        ConversionError, // a value is not an integer; that block and later ones not sent
        Unreadable,      // the file cannot be read; nothing was sent
        NoSetupData,     // the file holds no set-up data; nothing was sent
        Busy,            // another transfer is running; nothing was done
        FirmwareUnknown, // the unit's firmware version is not known; nothing was sent
        OtherFamily,     // the file was made for the other firmware family and
                         // SendOtherFamily declined it; nothing was sent
    };
    Outcome outcome = Outcome::Done;
    int firmwareVersion = 0; // the layouts' version; 0 when none was chosen
    int blocksDone = 0;      // written or skipped
    int blocksWritten = 0;   // actually sent and accepted
    std::optional<BlockSpec> stoppedAt;
    std::uint8_t status = 0; // exchange result of the failed block
    // The conversion error's text, or a sentence that says what went wrong.
    std::string message;

    bool ok() const { return outcome == Outcome::Done; }
};

// Writes the 68 blocks of file in order with the layouts of firmwareVersion,
// stopping at the first block that fails or does not convert. The file is
// the one WriteBlockFromFile reads while this runs.
TransferResult SendBlocks(const ini::Profile& file, int firmwareVersion,
                          const TransferHooks& hooks);

// PrepareLink, the layouts by ChooseFirmware, the question for a file made
// for the other firmware family, then SendBlocks.
TransferResult SendSetupFile(const ini::Profile& file, const TransferHooks& hooks);

// The whole send of a file by its path: OpenSetupFile, and when the file is
// fit, hooks.Starting and SendSetupFile. A file that is not fit ends with
// Unreadable or NoSetupData before anything reaches the line.
TransferResult TransferSetupFile(const std::string& path, const TransferHooks& hooks);

// True while SendBlocks or SendSetupFile runs (their waits let other handlers run).
bool TransferRunning();

} // namespace setup
