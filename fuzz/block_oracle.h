// What a built set-up block must look like, worked out from the layout and
// the file's values and compared with setup::BuildBlock's result: the
// argument's length and every field's bytes read back, and one diagnostic
// for each thing a careful reader of the file wants to know.
#pragma once

#include "setup/codec.h"
#include "setup/ini.h"
#include "setup/layouts.h"

namespace fuzz {

// Stops the run when built is not what file and spec give.
void CheckBuiltBlock(const ini::Profile& file, const setup::BlockSpec& spec,
                     const setup::BuiltBlock& built);

} // namespace fuzz
