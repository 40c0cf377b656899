#include "setup/block_write.h"

#include "unit/exchange.h"
#include "setup/codec.h"

namespace setup {

const ini::Profile* SetupFile = nullptr;
LogHooks TransferLog;

void AppendLog(const std::string& line) {
    if (TransferLog.AppendLog)
        TransferLog.AppendLog(line);
}

BlockResult WriteBlockFromFile(std::uint16_t block, std::string_view layout,
                               const std::string& section) {
    BlockResult result;
    if (SetupFile == nullptr) {
        result.outcome = BlockResult::Outcome::Failed;
        result.status = exchange::kNoReply;
        result.message = "no set-up file is open";
        return result;
    }
    const BuiltBlock built = BuildBlock(*SetupFile, BlockSpec{block, section, layout});
    if (built.skipped) {
        result.skipped = true;
        return result;
    }
    if (built.conversionError) {
        result.outcome = BlockResult::Outcome::ConversionError;
        result.message = *built.conversionError;
        return result;
    }
    result.status = exchange::Transact(kWriteBlockCommand, built.argument, true,
                                       kWriteBlockAttempts, kWriteBlockTimeoutMs);
    if (result.status != 0) {
        result.outcome = BlockResult::Outcome::Failed;
        return result;
    }
    AppendLog("");
    return result;
}

} // namespace setup
