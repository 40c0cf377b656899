// Writing one set-up block to the unit (command 4) with values taken from a
// section of the set-up file that the caller has opened.
#pragma once

#include "ini/profile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace setup {

constexpr std::uint8_t kWriteBlockCommand = 4;
constexpr int kWriteBlockAttempts = 4;
constexpr int kWriteBlockTimeoutMs = 6000;

// The set-up file that WriteBlockFromFile reads: opened by the caller before
// the first block and released after the last. Null when none is open.
extern const ini::Profile* SetupFile;

// The transfer log: the window installs a hook that appends one line to its
// memo. Without a hook the lines go nowhere.
struct LogHooks {
    std::function<void(const std::string& line)> AppendLog;
};
extern LogHooks TransferLog;
void AppendLog(const std::string& line);

struct BlockResult {
    enum class Outcome {
        Done,            // written, or skipped because its section is absent or empty
        Failed,          // no matching reply, or the unit refused it (non-zero status)
        ConversionError, // a value is not an integer; nothing was sent
    };
    Outcome outcome = Outcome::Done;
    bool skipped = false;
    std::uint8_t status = 0; // the exchange's result for a sent block
    std::string message;     // the conversion error's text, or why nothing was sent

    bool failed() const { return outcome != Outcome::Done; }
};

// Builds the block from `section` of SetupFile and writes it with
// Transact(4, argument, reply flag, 4 attempts, 6000 ms). On success an empty
// line goes to the log. With no file open nothing is sent and the block fails.
BlockResult WriteBlockFromFile(std::uint16_t block, std::string_view layout,
                               const std::string& section);

} // namespace setup
