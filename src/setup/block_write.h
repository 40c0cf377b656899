// Writing one set-up block to a unit (command 4) with values taken from a
// section of a set-up file.
#pragma once

#include "ini/profile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

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

// Builds the block from `section` of file and writes it with Transact(4,
// argument, reply flag, 4 attempts, 6000 ms). done is called once with the
// result: at once for a block that is skipped or does not convert (nothing
// is sent), else when the exchange ends.
void WriteBlockFromFile(unit::Unit& unit, const ini::Profile& file, std::uint16_t block,
                        std::string_view layout, const std::string& section,
                        std::function<void(const BlockResult&)> done);

// The same for a block already built (BuildBlock).
void WriteBuiltBlock(unit::Unit& unit, const BuiltBlock& built,
                     std::function<void(const BlockResult&)> done);

} // namespace setup
