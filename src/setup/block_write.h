// Writing one set-up block, built from a section of a set-up file, to a
// unit (command 4).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace unit {
class Unit;
}

namespace setup {

struct BuiltBlock;

constexpr int kWriteBlockAttempts = 4;
constexpr int kWriteBlockTimeoutMs = 6000;

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

// Writes a block already built (BuildBlock) with Transact(4, argument,
// reply flag, 4 attempts, 6000 ms). done is called once with the result: at
// once for a block that is skipped or does not convert (nothing is sent),
// else when the exchange ends.
void WriteBuiltBlock(unit::Unit& unit, const BuiltBlock& built,
                     std::function<void(const BlockResult&)> done);

} // namespace setup
