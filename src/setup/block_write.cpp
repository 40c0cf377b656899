#include "setup/block_write.h"

#include "protocol/commands.h"
#include "setup/codec.h"
#include "unit/unit.h"

#include <utility>

namespace setup {

void WriteBuiltBlock(unit::Unit& unit, const BuiltBlock& built,
                     std::function<void(const BlockResult&)> done) {
    BlockResult result;
    if (built.skipped) {
        result.skipped = true;
        done(result);
        return;
    }
    if (built.conversionError) {
        result.outcome = BlockResult::Outcome::ConversionError;
        result.message = *built.conversionError;
        done(result);
        return;
    }
    unit.Transact(koravel::kCommandWriteBlock, built.argument, true, kWriteBlockAttempts,
                  kWriteBlockTimeoutMs, [done = std::move(done)](const unit::Reply& reply) {
                      BlockResult sent;
                      sent.status = reply.status;
                      if (reply.status != 0)
                          sent.outcome = BlockResult::Outcome::Failed;
                      done(sent);
                  });
}

} // namespace setup
