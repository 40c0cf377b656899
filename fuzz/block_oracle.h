// What a built set-up block must look like, worked out from the layout and
// the file's values and compared with setup::BuildBlock's result: the
// argument's length and every field's bytes read back, and one diagnostic
// for each thing a careful reader of the file wants to know (fields it does
// not give, keys it gives twice or that no field reads, values cut, wrapped
// or not integers).
#pragma once

#include "ini/profile.h"
#include "setup/codec.h"
#include "setup/layouts.h"

#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// Stops the run when built is not what file and spec give. A block of a
// section with no keys must be skipped; for such blocks only that is checked.
void CheckBuiltBlock(const ini::Profile& file, const setup::BlockSpec& spec,
                     const setup::BuiltBlock& built);

// The place in the block map of the block that reads a section of this name
// (Factory 0, User 1, Useroffs1 to 33 from 2, FactoryTune1 to 33 from 35),
// names compared without regard to case; -1 when no block reads it.
int BlockIndex(std::string_view section);

// For each block of the map, whether the file holds data for it: the first
// section of the block's name has a key. Worked out from the file's sections
// alone, not by looking each block up.
std::vector<bool> BlocksWithData(const ini::Profile& file);

// A name as the INI rules compare it: ASCII letters in small case.
std::string Folded(std::string name);

} // namespace fuzz
